#pragma once

#include <string>

#include "protocol/upload_state.h"
#include "upload_options.h"

// Ends the program's run after the port is closed: the result on standard
// output or in the output file after a complete upload (status 0),
// otherwise one line on standard error saying why (1, 2 for an output file
// that appeared meanwhile, 130 when interrupted).
int ReportUpload(const UploadState& state, const UploadOptions& options, bool lineFailed,
                 bool interrupted);
