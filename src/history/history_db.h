#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "history/upload_entry.h"

// One connection to a history file. Opening checks that the file is a
// Kelvarin history this version can read; a file that is not one, or one
// written by a newer Kelvarin, is refused and never changed.
class HistoryDb {
public:
    static constexpr int kSchemaVersion = 1;
    // How long a call waits for another program that is writing.
    static constexpr int kBusyMilliseconds = 5000;

    enum class Access {
        Record,  // creates the file and its folder's first history if need be
        Change,  // an existing history, to be changed (tags)
        Read,    // an existing history
    };

    HistoryDb(const std::string& path, Access access);
    ~HistoryDb();
    HistoryDb(const HistoryDb&) = delete;
    HistoryDb& operator=(const HistoryDb&) = delete;

    // Stores the upload in one transaction and returns its id; marks it as
    // a repeat of the latest earlier upload from the same device when its
    // full range and every record are the same, text for text.
    std::int64_t Record(const UploadEntry& entry);

    sqlite3* Handle() const { return m_db; }
    const std::string& Path() const { return m_path; }
    // 0 for a history nothing was ever recorded in.
    int SchemaVersion() const { return m_version; }
    // "wal" or "delete" (a network file system has no shared memory).
    std::string JournalMode() const;

private:
    void CheckKind();
    void CreateSchema();
    std::int64_t Insert(const UploadEntry& entry);

    std::string m_path;
    sqlite3* m_db = nullptr;
    int m_version = 0;
};
