#pragma once

#include <optional>
#include <string>

#include "protocol/upload_state.h"
#include "upload_stats.h"

// Xlsx: a workbook (upload_workbook.h), written to an output file only.
enum class OutputFormat { Text, Csv, Json, Xlsx };

// The format a --format value names: text, csv, json or xlsx.
std::optional<OutputFormat> OutputFormatNamed(const std::string& name);

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
// `uploadJson`, when not empty, is a JSON object that JSON output holds
// first, under "upload" (the history's fields of a stored upload).
FormattedUpload FormatUpload(const TextList& list, const std::string& rangeText,
                             const std::string& lengthText, OutputFormat format,
                             const UploadSummary* summary, const std::string& uploadJson = {});
inline FormattedUpload FormatUpload(const UploadState& state, OutputFormat format,
                                    const UploadSummary* summary) {
    return FormatUpload(state.list, state.rangeText, state.lengthText, format, summary);
}

// The summary as text: a tab-separated table by unit, then the counts.
std::string SummaryText(const UploadSummary& summary);

// A JSON string literal for any bytes: escaped, and valid UTF-8 even where
// the input is not (a broken sequence becomes U+FFFD).
std::string JsonString(const std::string& text);

// Whether `text` is valid UTF-8 throughout.
bool IsUtf8(const std::string& text);

// A figure as the text summary shows it: six decimals, or "not available"
// where it does not exist or is beyond a double.
std::string FigureText(const std::optional<double>& value);

// `text` with each byte that is not part of a valid UTF-8 sequence replaced
// by U+FFFD.
std::string ValidUtf8(const std::string& text);

// The summary as the JSON object kelvarin-upload's output holds under
// "summary" (indented for that place).
std::string SummaryJson(const UploadSummary& summary);

// The summary's table by unit as CSV (RFC 4180), header first.
std::string SummaryCsv(const UploadSummary& summary);

// RFC 4180: quoted only when the text would otherwise break the row.
std::string CsvField(const std::string& text);
