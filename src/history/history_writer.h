#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <string>

#include "history/upload_entry.h"

// Records an upload in the history at `path`; on failure keeps it for
// `kelvarin-history status` and returns the one line that says so, else "".
std::string RecordUpload(const std::string& path, const UploadEntry& entry);

// Records the window's uploads on a thread of its own, so that a busy or
// slow history never stalls the window.
class HistoryWriter {
public:
    // `report` gets each failure's line, on the writer's thread.
    using Report = std::function<void(const std::string&)>;
    HistoryWriter(std::string path, Report report);
    // Waits for a record under way at most the busy time-out.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // `lastAckWritten` is asked on the writer's thread, just before the
    // record is made: by then the last acknowledgement has gone out or not.
    void Keep(UploadEntry entry, std::function<bool()> lastAckWritten);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};
