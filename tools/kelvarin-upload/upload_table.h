#pragma once

#include <string>

#include "protocol/upload_state.h"
#include "upload_stats.h"

enum class OutputFormat { Text, Csv, Json };

// What kelvarin-upload prints after the end frame. `output` is the result
// proper (standard output or the output file); `side` goes to standard
// error, so that a CSV file stays one clean table.
struct FormattedUpload {
    std::string output;
    std::string side;
};

// Text: the two fields, the tab-separated list, then the summary. CSV: the
// list only (RFC 4180); fields and summary are the side text. JSON: one
// object with everything. `summary` may be null.
FormattedUpload FormatUpload(const UploadState& state, OutputFormat format,
                             const UploadSummary* summary);

// The summary as text: a tab-separated table by unit, then the counts.
std::string SummaryText(const UploadSummary& summary);

// A JSON string literal for any bytes: escaped, and valid UTF-8 even where
// the input is not (a broken sequence becomes U+FFFD).
std::string JsonString(const std::string& text);
