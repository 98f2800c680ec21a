#include "history/upload_entry.h"

#include <chrono>

#include "history/history_time.h"
#include "history/machine_facts.h"
#include "kelvarin_version.h"

UploadEntry NewUploadEntry(const std::string& source, int port, const std::string& device) {
    UploadEntry entry;
    entry.info.finished = UtcText(std::chrono::system_clock::now());
    entry.info.source = source;
    entry.info.version = KELVARIN_VERSION;
    entry.info.host = HostName();
    entry.info.user = LoginUser();
    entry.info.port = port;
    entry.info.device = device.empty() ? std::string() : StableDeviceName(device);
    return entry;
}
