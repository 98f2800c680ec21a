#include "upload_history.h"

#include "console_text.h"
#include "history/history_place.h"
#include "history/history_time.h"
#include "history/history_writer.h"
#include "serial/port_list.h"

void KeepInHistory(const UploadState& state, const UploadOptions& options, bool lastAckWritten,
                   std::chrono::system_clock::time_point finished) {
    if (!state.exportEnabled || options.noHistory) return;
    const std::string path = HistoryPath(options.db);
    if (path.empty()) return;
    UploadEntry entry =
        NewUploadEntry("kelvarin-upload", options.port, PortDeviceText(options.port));
    entry.info.finished = UtcText(finished);
    entry.info.fullRange = state.rangeText;
    entry.info.dataLength = state.lengthText;
    entry.info.tags = options.tags;
    entry.info.lastAckWritten = lastAckWritten;
    for (int row = 0; row < state.list.GetItemCount(); ++row)
        entry.records.push_back({state.list.GetItemText(row, 0),
                                 state.list.GetItemText(row, 1),
                                 state.list.GetItemText(row, 2),
                                 state.list.GetItemText(row, 3),
                                 {}});
    if (const std::string failure = RecordUpload(path, entry); !failure.empty())
        WriteText(stderr, "kelvarin-upload: " + failure + "\n");
}
