#pragma once

#include <string>

#include "protocol/upload_state.h"

// What kelvarin-upload prints after the end frame: the two fields, then the
// list with its column headings, tab-separated or as CSV.
std::string FormatUpload(const UploadState& state, bool csv);

// Ends the program's run: the table on standard output after a complete
// upload (exit status 0), otherwise why not on standard error (status 1).
int ReportUpload(const UploadState& state, int port, long timeoutSeconds, bool csv,
                 bool lineFailed);
