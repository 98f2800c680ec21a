#include "history/history_db.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "history/history_error.h"
#include "history/history_place.h"
#include "history/sqlite_statement.h"
#include "protocol/data_value.h"

namespace {

// "Klvr": tells a Kelvarin history from any other SQLite file.
constexpr int kApplicationId = 0x4B6C7672;

// The layout any SQLite tool can query (the README documents it). Readings
// are quality records: nothing deletes them or changes their texts.
constexpr const char* kSchema = R"sql(
CREATE TABLE upload (
    id INTEGER PRIMARY KEY,
    finished TEXT NOT NULL,
    source TEXT NOT NULL,
    version TEXT NOT NULL,
    host TEXT NOT NULL,
    user TEXT NOT NULL,
    port INTEGER NOT NULL,
    device TEXT NOT NULL,
    full_range TEXT NOT NULL,
    data_length TEXT NOT NULL,
    tool TEXT,
    operator TEXT,
    job TEXT,
    last_ack_written INTEGER NOT NULL,
    records INTEGER NOT NULL,
    repeat_of INTEGER REFERENCES upload (id)
);
CREATE INDEX upload_by_device ON upload (device, id);
CREATE INDEX upload_by_finished ON upload (finished);
CREATE TABLE reading (
    upload INTEGER NOT NULL REFERENCES upload (id),
    row INTEGER NOT NULL,
    id TEXT NOT NULL,
    data TEXT NOT NULL,
    unit TEXT NOT NULL,
    pass TEXT NOT NULL,
    value REAL,
    PRIMARY KEY (upload, row)
) WITHOUT ROWID;
CREATE TRIGGER upload_kept BEFORE DELETE ON upload
BEGIN SELECT RAISE (ABORT, 'uploads are quality records and are never deleted'); END;
CREATE TRIGGER reading_kept BEFORE DELETE ON reading
BEGIN SELECT RAISE (ABORT, 'readings are quality records and are never deleted'); END;
CREATE TRIGGER reading_unchanged BEFORE UPDATE ON reading
BEGIN SELECT RAISE (ABORT, 'readings are quality records and are never changed'); END;
)sql";

int PragmaInt(sqlite3* db, const char* pragma, const std::string& path) {
    Statement statement(db, pragma, path);
    return statement.Step() ? static_cast<int>(statement.Int(0)) : 0;
}

// Rolls back unless committed: an exception in between leaves nothing.
class Transaction {
public:
    Transaction(sqlite3* db, const std::string& path) : m_db(db), m_path(path) {
        // IMMEDIATE takes the write lock now, waiting out another writer
        // within the busy time-out, instead of failing at the first insert.
        Execute(db, "BEGIN IMMEDIATE", path);
    }
    ~Transaction() {
        if (!m_done) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
        Execute(m_db, "COMMIT", m_path);
        m_done = true;
    }

private:
    sqlite3* m_db;
    const std::string& m_path;
    bool m_done = false;
};

}  // namespace

HistoryDb::HistoryDb(const std::string& path, Access access) : m_path(path) {
    std::error_code error;
    const std::filesystem::path file = PathOf(path);
    if (access != Access::Record && !std::filesystem::exists(file, error))
        throw HistoryError(path + ": no history there (nothing has been recorded in it)");
    if (access == Access::Record && !file.parent_path().empty())
        std::filesystem::create_directories(file.parent_path(), error);

    const int flags = SQLITE_OPEN_READWRITE | (access == Access::Record ? SQLITE_OPEN_CREATE : 0);
    int result = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (result != SQLITE_OK && access == Access::Read) {
        sqlite3_close(m_db);
        m_db = nullptr;
        result = sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    }
    if (result != SQLITE_OK) {
        if (!m_db) throw HistoryError(path + ": out of memory");
        // Closed whatever the message says: nothing else holds the handle.
        struct Close {
            sqlite3*& db;
            ~Close() {
                sqlite3_close(db);
                db = nullptr;
            }
        } close{m_db};
        ThrowSqlite(m_db, path);
    }
    sqlite3_busy_timeout(m_db, kBusyMilliseconds);
    try {
        CheckKind();
        Execute(m_db, "PRAGMA foreign_keys = ON", m_path);
        if (access == Access::Record) {
            // Shared memory, which WAL needs, does not work across a network
            // file system: a rollback journal does.
            const bool network = OnNetworkFileSystem(Utf8Of(file.parent_path()));
            const std::string wanted = network ? "delete" : "wal";
            if (JournalMode() != wanted)
                Execute(m_db,
                        network ? "PRAGMA journal_mode = DELETE" : "PRAGMA journal_mode = WAL",
                        m_path);
            if (m_version == 0) CreateSchema();
        }
        // Each change is on disk when the program says it is made.
        if (access != Access::Read) Execute(m_db, "PRAGMA synchronous = FULL", m_path);
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
}

HistoryDb::~HistoryDb() {
    sqlite3_close(m_db);
}

std::string HistoryDb::JournalMode() const {
    Statement statement(m_db, "PRAGMA journal_mode", m_path);
    return statement.Step() ? statement.Text(0) : std::string();
}

void HistoryDb::CheckKind() {
    // The first read of the header: a file that is not a database fails here.
    m_version = PragmaInt(m_db, "PRAGMA user_version", m_path);
    const int application = PragmaInt(m_db, "PRAGMA application_id", m_path);
    const int objects = PragmaInt(m_db, "SELECT count(*) FROM sqlite_schema", m_path);
    if ((m_version != 0 && application != kApplicationId) || (m_version == 0 && objects != 0))
        throw HistoryError(m_path +
                           ": an SQLite database that is not a Kelvarin history; left as "
                           "it is");
    if (m_version > kSchemaVersion)
        throw HistoryError(m_path + ": written by a newer Kelvarin (history version " +
                           std::to_string(m_version) + "; this one reads up to " +
                           std::to_string(kSchemaVersion) + "); left as it is");
}

void HistoryDb::CreateSchema() {
    Transaction transaction(m_db, m_path);
    // Another program may have made it while this one waited for the lock.
    m_version = PragmaInt(m_db, "PRAGMA user_version", m_path);
    if (m_version != 0) return;
    Execute(m_db, kSchema, m_path);
    Execute(m_db,
            ("PRAGMA application_id = " + std::to_string(kApplicationId) +
             "; PRAGMA user_version = " + std::to_string(kSchemaVersion))
                .c_str(),
            m_path);
    transaction.Commit();
    m_version = kSchemaVersion;
}

std::int64_t HistoryDb::Record(const UploadEntry& entry) {
    // The busy handler waits out a writer for the time-out; a lock that is
    // still held then (a long checkpoint) gets a few more tries.
    for (int attempt = 1;; ++attempt) {
        try {
            return Insert(entry);
        } catch (const HistoryError&) {
            const int code = sqlite3_errcode(m_db) & 0xFF;
            if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || attempt == 3) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

std::int64_t HistoryDb::Insert(const UploadEntry& entry) {
    const UploadInfo& info = entry.info;
    Transaction transaction(m_db, m_path);

    std::optional<std::int64_t> repeatOf;
    Statement latest(m_db,
                     "SELECT id, full_range, records FROM upload WHERE device = ?1 "
                     "ORDER BY id DESC LIMIT 1",
                     m_path);
    latest.Bind(1, info.device);
    if (latest.Step() && latest.Text(1) == info.fullRange &&
        latest.Int(2) == static_cast<std::int64_t>(entry.records.size())) {
        Statement rows(m_db,
                       "SELECT id, data, unit, pass FROM reading WHERE upload = ?1 ORDER BY row",
                       m_path);
        rows.Bind(1, latest.Int(0));
        bool same = true;
        for (const StoredRecord& r : entry.records) {
            if (!rows.Step() || rows.Text(0) != r.id || rows.Text(1) != r.data ||
                rows.Text(2) != r.unit || rows.Text(3) != r.pass) {
                same = false;
                break;
            }
        }
        if (same) repeatOf = latest.Int(0);
    }

    Statement upload(m_db,
                     "INSERT INTO upload (finished, source, version, host, user, port, device, "
                     "full_range, data_length, tool, operator, job, last_ack_written, records, "
                     "repeat_of) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, "
                     "?14, ?15)",
                     m_path);
    upload.Bind(1, info.finished)
        .Bind(2, info.source)
        .Bind(3, info.version)
        .Bind(4, info.host)
        .Bind(5, info.user)
        .Bind(6, std::int64_t{info.port})
        .Bind(7, info.device)
        .Bind(8, info.fullRange)
        .Bind(9, info.dataLength)
        .Bind(10, info.tags.tool)
        .Bind(11, info.tags.operatorName)
        .Bind(12, info.tags.job)
        .Bind(13, std::int64_t{info.lastAckWritten ? 1 : 0})
        .Bind(14, static_cast<std::int64_t>(entry.records.size()))
        .Bind(15, repeatOf);
    upload.Step();
    const std::int64_t id = sqlite3_last_insert_rowid(m_db);

    Statement reading(m_db,
                      "INSERT INTO reading (upload, row, id, data, unit, pass, value) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                      m_path);
    std::int64_t row = 0;
    for (const StoredRecord& r : entry.records) {
        reading.Bind(1, id)
            .Bind(2, row++)
            .Bind(3, r.id)
            .Bind(4, r.data)
            .Bind(5, r.unit)
            .Bind(6, r.pass)
            .Bind(7, ValueOf(r.data));
        reading.Step();
        reading.Reset();
    }
    transaction.Commit();
    return id;
}
