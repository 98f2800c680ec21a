#pragma once

#include <string>
#include <vector>

#include "history/upload_entry.h"
#include "upload_table.h"

// The list of uploads in each format: text (tab-separated, control
// characters escaped), CSV (RFC 4180) and JSON (an array of objects).
std::string UploadList(const std::vector<UploadInfo>& uploads, OutputFormat format);

// One upload's fields as texts, by key (those of the list), without the two
// fields of the upload itself.
std::vector<std::pair<std::string, std::string>> UploadFieldTexts(const UploadInfo& info);

// One upload's fields as a JSON object.
std::string UploadJson(const UploadInfo& info);

// Control characters as \t, \n, \r or \xHH, and \ as \\: a text that
// cannot break a line or a column of text output.
std::string Escaped(const std::string& text);
