#pragma once

#include <functional>
#include <string>

#include "export/automation.h"
#include "export/export_list.h"

// Shows a modal message box owned by the main window.
using ExportMessageBox =
    std::function<void(const std::string& text, const std::string& caption, unsigned style)>;

// Writes `list` into the first sheet of a new workbook of "Excel.Application"
// and leaves the application visible and under the user's control. When the
// application cannot be created it shows the "Warning" box and returns.
// A failing call after that ends the export at once (everything taken is
// given back, nothing written is undone) and leaves as AutomationError for
// the caller's command dispatch to report.
void ExportToExcel(AutomationClient& client, const ExportList& list,
                   const ExportMessageBox& messageBox);

// The platform's client: COM on Windows, the Calc bridge on Linux when it is
// built, otherwise a client whose creation always fails.
AutomationClient& DefaultAutomationClient();

// The spreadsheet column letter of a zero-based column: "A" to "Z"; every
// column from 26 on is "Z" as well.
std::string ColumnLetter(int column);
