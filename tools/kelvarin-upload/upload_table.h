#pragma once

#include <string>

#include "protocol/upload_state.h"

// What kelvarin-upload prints after the end frame: the two fields, then the
// list with its column headings, tab-separated or as CSV.
std::string FormatUpload(const UploadState& state, bool csv);
