#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_db.h"
#include "history/upload_entry.h"

// Which uploads a command works on. Every field left empty selects all.
struct Selection {
    std::vector<std::int64_t> uploads;
    std::optional<std::string> since;  // stored times at or after this
    std::optional<std::string> until;  // stored times before this
    std::optional<std::string> tool, operatorName, job, device;
    std::optional<int> port;
    std::optional<std::int64_t> last;  // the newest N left after the rest
    bool repeats = true;               // false leaves out plain re-uploads
};

// The selected uploads, oldest first.
std::vector<UploadInfo> SelectUploads(const HistoryDb& db, const Selection& selection);

// One upload with its records; empty when there is no such upload.
std::optional<UploadEntry> LoadUpload(const HistoryDb& db, std::int64_t id);

// One stored reading as a query walks past it; the texts live until the
// visitor returns.
struct ReadingRow {
    std::int64_t upload = 0;
    std::string_view id;
    std::string_view unit;
    std::optional<double> value;
    bool failed = false;
};

// Every reading of the selected uploads, in upload and list order.
using ReadingVisitor = std::function<void(const ReadingRow& row)>;
void ForEachReading(const HistoryDb& db, const Selection& selection, const ReadingVisitor& visit);

// Sets the given tags of upload `id`; false when there is no such upload.
bool SetTags(const HistoryDb& db, std::int64_t id, const UploadTags& tags);

struct HistoryCounts {
    std::int64_t uploads = 0;
    std::int64_t repeats = 0;
    std::int64_t readings = 0;
    std::optional<std::string> first, last;  // finishing times
};
HistoryCounts CountHistory(const HistoryDb& db);

// A consistent copy of the whole history into `path` (a new file), through
// SQLite's online backup: recording may go on meanwhile.
void BackUp(const HistoryDb& db, const std::string& path);
