#include "history/history_query.h"

#include <algorithm>

#include "history/history_error.h"
#include "history/sqlite_statement.h"

namespace {

constexpr const char* kUploadColumns =
    "id, finished, source, version, host, user, port, device, full_range, data_length, tool, "
    "operator, job, last_ack_written, records, repeat_of";

UploadInfo InfoOf(const Statement& s) {
    UploadInfo info;
    info.id = s.Int(0);
    info.finished = s.Text(1);
    info.source = s.Text(2);
    info.version = s.Text(3);
    info.host = s.Text(4);
    info.user = s.Text(5);
    info.port = static_cast<int>(s.Int(6));
    info.device = s.Text(7);
    info.fullRange = s.Text(8);
    info.dataLength = s.Text(9);
    info.tags = {s.OptionalText(10), s.OptionalText(11), s.OptionalText(12)};
    info.lastAckWritten = s.Int(13) != 0;
    info.records = static_cast<int>(s.Int(14));
    info.repeatOf = s.OptionalInt(15);
    return info;
}

// The selection as SQL over the upload table: fixed conditions with
// numbered parameters, and the values to bind to them in order.
struct Where {
    std::string sql;
    std::vector<std::optional<std::string>> texts;
    std::vector<std::int64_t> numbers;  // bound after the texts
};

Where Conditions(const Selection& s) {
    Where where;
    std::vector<std::string> parts;
    const auto text = [&](const char* column, const std::optional<std::string>& value,
                          const char* op) {
        if (!value) return;
        where.texts.push_back(value);
        parts.push_back(std::string(column) + " " + op + " ?" + std::to_string(where.texts.size()));
    };
    text("finished", s.since, ">=");
    text("finished", s.until, "<");
    text("tool", s.tool, "=");
    text("operator", s.operatorName, "=");
    text("job", s.job, "=");
    text("device", s.device, "=");
    const auto number = [&](std::int64_t value) {
        where.numbers.push_back(value);
        return "?" + std::to_string(100 + where.numbers.size());
    };
    if (s.port) parts.push_back("port = " + number(*s.port));
    if (!s.uploads.empty()) {
        std::string list;
        for (std::int64_t id : s.uploads) list += (list.empty() ? "" : ", ") + number(id);
        parts.push_back("id IN (" + list + ")");
    }
    if (!s.repeats) parts.push_back("repeat_of IS NULL");
    for (const std::string& part : parts)
        where.sql += (where.sql.empty() ? " WHERE " : " AND ") + part;
    return where;
}

// SELECT <columns> FROM upload <where>, newest `last` only when asked.
std::string SelectedIds(const Selection& s, const Where& where) {
    std::string sql = "SELECT id FROM upload" + where.sql;
    if (s.last) sql += " ORDER BY id DESC LIMIT ?200";
    return sql;
}

void BindWhere(Statement& statement, const Selection& s, const Where& where) {
    for (std::size_t i = 0; i < where.texts.size(); ++i)
        statement.Bind(static_cast<int>(i + 1), where.texts[i]);
    for (std::size_t i = 0; i < where.numbers.size(); ++i)
        statement.Bind(static_cast<int>(101 + i), where.numbers[i]);
    if (s.last) statement.Bind(200, *s.last);
}

}  // namespace

std::vector<UploadInfo> SelectUploads(const HistoryDb& db, const Selection& selection) {
    std::vector<UploadInfo> uploads;
    if (db.SchemaVersion() == 0) return uploads;
    const Where where = Conditions(selection);
    Statement statement(db.Handle(),
                        std::string("SELECT ") + kUploadColumns + " FROM upload WHERE id IN (" +
                            SelectedIds(selection, where) + ") ORDER BY id",
                        db.Path());
    BindWhere(statement, selection, where);
    while (statement.Step()) uploads.push_back(InfoOf(statement));
    return uploads;
}

std::optional<UploadEntry> LoadUpload(const HistoryDb& db, std::int64_t id) {
    if (db.SchemaVersion() == 0) return {};
    Statement upload(db.Handle(),
                     std::string("SELECT ") + kUploadColumns + " FROM upload WHERE id = ?1",
                     db.Path());
    upload.Bind(1, id);
    if (!upload.Step()) return {};
    UploadEntry entry;
    entry.info = InfoOf(upload);
    Statement rows(db.Handle(),
                   "SELECT id, data, unit, pass, value FROM reading WHERE upload = ?1 ORDER BY row",
                   db.Path());
    rows.Bind(1, id);
    while (rows.Step())
        entry.records.push_back(
            {rows.Text(0), rows.Text(1), rows.Text(2), rows.Text(3), rows.OptionalReal(4)});
    return entry;
}

void ForEachReading(const HistoryDb& db, const Selection& selection, const ReadingVisitor& visit) {
    if (db.SchemaVersion() == 0) return;
    const Where where = Conditions(selection);
    Statement statement(db.Handle(),
                        "SELECT upload, id, unit, value, pass = 'failed' FROM reading WHERE upload "
                        "IN (" +
                            SelectedIds(selection, where) + ") ORDER BY upload, row",
                        db.Path());
    BindWhere(statement, selection, where);
    sqlite3_stmt* s = statement.Handle();
    const auto text = [s](int column) {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
        return std::string_view(bytes ? bytes : "",
                                static_cast<std::size_t>(sqlite3_column_bytes(s, column)));
    };
    ReadingRow row;
    while (statement.Step()) {
        row.upload = sqlite3_column_int64(s, 0);
        row.id = text(1);
        row.unit = text(2);
        row.value = sqlite3_column_type(s, 3) == SQLITE_NULL ? std::optional<double>()
                                                             : sqlite3_column_double(s, 3);
        row.failed = sqlite3_column_int(s, 4) != 0;
        visit(row);
    }
}

bool SetTags(const HistoryDb& db, std::int64_t id, const UploadTags& tags) {
    if (db.SchemaVersion() == 0) return false;
    // A tag not given stays as it is.
    Statement statement(db.Handle(),
                        "UPDATE upload SET tool = coalesce(?1, tool), operator = coalesce(?2, "
                        "operator), job = coalesce(?3, job) WHERE id = ?4",
                        db.Path());
    statement.Bind(1, tags.tool).Bind(2, tags.operatorName).Bind(3, tags.job).Bind(4, id);
    statement.Step();
    return sqlite3_changes(db.Handle()) > 0;
}

HistoryCounts CountHistory(const HistoryDb& db) {
    HistoryCounts counts;
    if (db.SchemaVersion() == 0) return counts;
    Statement statement(db.Handle(),
                        "SELECT count(*), count(repeat_of), coalesce(sum(records), 0), "
                        "min(finished), max(finished) FROM upload",
                        db.Path());
    statement.Step();
    counts.uploads = statement.Int(0);
    counts.repeats = statement.Int(1);
    counts.readings = statement.Int(2);
    counts.first = statement.OptionalText(3);
    counts.last = statement.OptionalText(4);
    return counts;
}

void BackUp(const HistoryDb& db, const std::string& path) {
    sqlite3* copy = nullptr;
    if (sqlite3_open_v2(path.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const std::string cause = copy ? sqlite3_errmsg(copy) : "out of memory";
        sqlite3_close(copy);
        throw HistoryError(path + ": " + cause);
    }
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", db.Handle(), "main");
    int result = SQLITE_ERROR;
    if (backup) {
        // All pages in one step: a copy of one moment, whatever is recorded
        // meanwhile. Busy retries stay within the reader's time-out.
        for (int tries = 0; tries < 100; ++tries) {
            result = sqlite3_backup_step(backup, -1);
            if (result != SQLITE_BUSY && result != SQLITE_LOCKED) break;
            sqlite3_sleep(50);
        }
        sqlite3_backup_finish(backup);
    }
    if (result != SQLITE_DONE) {
        const std::string cause = sqlite3_errmsg(copy);
        sqlite3_close(copy);
        throw HistoryError(path + ": " + cause);
    }
    // The copy needs no WAL file beside it to be whole.
    sqlite3_exec(copy, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    if (sqlite3_close(copy) != SQLITE_OK) throw HistoryError(path + ": cannot be closed");
}
