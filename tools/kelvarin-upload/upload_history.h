#pragma once

#include <chrono>

#include "protocol/upload_state.h"
#include "upload_options.h"

// Keeps a complete upload in the history, after its output is written,
// unless --no-history or KELVARIN_HISTORY=off. A failure is one line on
// standard error and changes nothing else: the output and the exit status
// are the upload's own.
// `finished` is when the end frame came.
void KeepInHistory(const UploadState& state, const UploadOptions& options, bool lastAckWritten,
                   std::chrono::system_clock::time_point finished);
