#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "capability.h"
#include "history/history_query.h"
#include "history/upload_entry.h"
#include "upload_stats.h"
#include "upload_table.h"

// The command line of kelvarin-history, the same on every platform.
enum class HistoryCommand { List, Show, Stats, Tag, Status, Backup, Report };

struct HistoryOptions {
    HistoryCommand command = HistoryCommand::List;
    std::string db;  // empty: where KELVARIN_HISTORY or the default puts it
    OutputFormat format = OutputFormat::Text;
    std::string output;  // empty: standard output
    bool force = false;
    Selection selection;  // repeats left out of stats unless --all
    std::int64_t id = 0;  // show, tag
    bool summary = false;
    std::optional<Limits> limits;
    std::optional<std::string> unit;
    UploadTags tags;
    std::string backupFile;
    Thresholds thresholds;  // report
    std::optional<std::string> title;
};

// Parses argv into `options`. Returns -1 to go on, otherwise the exit status
// to end with (0 after --help or --version, 2 after a usage error, which it
// has reported).
int ParseHistoryOptions(int argc, char** argv, HistoryOptions& options);
