#pragma once

#include <optional>
#include <string>

#include "history/upload_entry.h"
#include "upload_stats.h"
#include "upload_table.h"

// The command line of kelvarin-upload, the same on every platform.
struct UploadOptions {
    int port = 0;
    long timeoutSeconds = 60;
    OutputFormat format = OutputFormat::Text;
    std::string output;  // empty: standard output
    bool force = false;
    bool summary = false;
    std::optional<Limits> limits;
    bool trace = false;
    bool listPorts = false;
    bool version = false;
    bool noHistory = false;
    std::string db;  // empty: where KELVARIN_HISTORY or the default puts it
    UploadTags tags;
};

// Parses argv into `options`. Returns -1 to go on, otherwise the exit status
// to end with (0 after --help, 2 after a usage error, which it has reported).
// `portHelp` describes what a port number opens on this platform.
int ParseUploadOptions(int argc, char** argv, const char* portHelp, UploadOptions& options);

// A whole text as a finite number.
std::optional<double> ParseReal(const std::string& text);

// "LOWER:UPPER" with LOWER below UPPER.
std::optional<Limits> ParseLimits(const std::string& text);
