#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>

// One prepared statement. Every value is bound as a parameter: no text from
// a user or a tool is ever part of the SQL. Failures throw HistoryError
// naming the database file.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql, const std::string& path);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, const std::string& text);
    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, const std::optional<std::string>& text);
    Statement& Bind(int index, const std::optional<double>& value);
    Statement& Bind(int index, const std::optional<std::int64_t>& value);

    // True while a row is there.
    bool Step();
    // Ready to run again with new values.
    void Reset();

    std::string Text(int column) const;
    std::optional<std::string> OptionalText(int column) const;
    std::int64_t Int(int column) const;
    std::optional<std::int64_t> OptionalInt(int column) const;
    std::optional<double> OptionalReal(int column) const;
    bool IsNull(int column) const;
    sqlite3_stmt* Handle() const { return m_statement; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
    const std::string& m_path;
};

// "PATH: what SQLite says (what the system says)".
[[noreturn]] void ThrowSqlite(sqlite3* db, const std::string& path);

// Runs SQL without results (several statements allowed).
void Execute(sqlite3* db, const char* sql, const std::string& path);
