#pragma once

#include "history_options.h"

// Runs the command on the history at `path` and writes its result; returns
// the exit status. Failures have been reported on standard error.
int RunHistoryCommand(const HistoryOptions& options, const std::string& path);
