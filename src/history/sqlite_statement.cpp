#include "history/sqlite_statement.h"

#include "history/history_error.h"
#include "history/history_place.h"

void ThrowSqlite(sqlite3* db, const std::string& path) {
    std::string cause = sqlite3_errmsg(db);
    // The system's reason says what the user can mend: permissions, space.
    if (const int code = sqlite3_system_errno(db); code != 0) {
        const std::string system = SystemErrorText(code);
        if (cause.find(system) == std::string::npos) cause += " (" + system + ")";
    }
    throw HistoryError(path + ": " + cause);
}

void Execute(sqlite3* db, const char* sql, const std::string& path) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) ThrowSqlite(db, path);
}

Statement::Statement(sqlite3* db, const std::string& sql, const std::string& path)
    : m_db(db), m_path(path) {
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_statement, nullptr) !=
        SQLITE_OK)
        ThrowSqlite(db, path);
}

Statement::~Statement() {
    sqlite3_finalize(m_statement);
}

Statement& Statement::Bind(int index, const std::string& text) {
    if (sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        ThrowSqlite(m_db, m_path);
    return *this;
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK) ThrowSqlite(m_db, m_path);
    return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::string>& text) {
    if (text) return Bind(index, *text);
    if (sqlite3_bind_null(m_statement, index) != SQLITE_OK) ThrowSqlite(m_db, m_path);
    return *this;
}

Statement& Statement::Bind(int index, const std::optional<double>& value) {
    if ((value ? sqlite3_bind_double(m_statement, index, *value)
               : sqlite3_bind_null(m_statement, index)) != SQLITE_OK)
        ThrowSqlite(m_db, m_path);
    return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::int64_t>& value) {
    if (value) return Bind(index, *value);
    if (sqlite3_bind_null(m_statement, index) != SQLITE_OK) ThrowSqlite(m_db, m_path);
    return *this;
}

bool Statement::Step() {
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    ThrowSqlite(m_db, m_path);
}

void Statement::Reset() {
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(m_statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)))
                : std::string();
}

std::optional<std::string> Statement::OptionalText(int column) const {
    if (IsNull(column)) return {};
    return Text(column);
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

std::optional<std::int64_t> Statement::OptionalInt(int column) const {
    if (IsNull(column)) return {};
    return Int(column);
}

std::optional<double> Statement::OptionalReal(int column) const {
    if (IsNull(column)) return {};
    return sqlite3_column_double(m_statement, column);
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}
