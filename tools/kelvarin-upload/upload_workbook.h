#pragma once

#include <string>
#include <vector>

#include "protocol/text_list.h"
#include "upload_stats.h"

// One field of the second sheet: its name and text, written as a number
// when `number` and the text is one.
struct WorkbookField {
    std::string name;
    std::string text;
    bool number = false;
};

// An upload as an .xlsx workbook, made without an office. The first sheet
// is the list (ID and DATA as numbers, DATA shown with six decimals; a
// record without a value keeps the list's text); the second holds full
// range, data length, `fields` and, when given, the summary.
struct WorkbookInput {
    const TextList& list;
    std::string rangeText;
    std::string lengthText;
    std::vector<WorkbookField> fields;
    const UploadSummary* summary = nullptr;
};

// The workbook's bytes; empty, with `error` saying why, when it could not be
// made.
std::string UploadWorkbook(const WorkbookInput& input, std::string& error);
