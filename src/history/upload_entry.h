#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One completed upload as the history keeps it: where and when it was made,
// its two fields and every row of the list, text for text.

struct UploadTags {
    std::optional<std::string> tool;
    std::optional<std::string> operatorName;
    std::optional<std::string> job;
};

struct UploadInfo {
    std::int64_t id = 0;   // given by the history
    std::string finished;  // ISO 8601 UTC, milliseconds, ending in Z
    std::string source;    // "window" or "kelvarin-upload"
    std::string version;
    std::string host;
    std::string user;
    int port = 0;
    std::string device;     // its stable by-id name where there is one
    std::string fullRange;  // the fields' texts
    std::string dataLength;
    UploadTags tags;
    bool lastAckWritten = true;            // false: the tool may offer the upload again
    int records = 0;                       // given by the history
    std::optional<std::int64_t> repeatOf;  // given by the history
};

struct StoredRecord {
    std::string id, data, unit, pass;  // the list's four texts
    std::optional<double> value;       // given by the history from DATA
};

struct UploadEntry {
    UploadInfo info;
    std::vector<StoredRecord> records;
};

// A new entry for an upload from port `port` (device path `device`) that
// ended now: the time, the program's version, this host and user.
UploadEntry NewUploadEntry(const std::string& source, int port, const std::string& device);
