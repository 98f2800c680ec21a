#include "export/export_to_excel.h"

#include <string>

#include "export/dispatch_holder.h"
#include "export/excel_dispids.h"
#include "export/header_text.h"
#include "winapi/win_types.h"

using namespace automation;

namespace {

using namespace automation::excel;

// Range(name, name) into `cell`, then the text into the cell's Value2.
void WriteCell(DispatchHolder& sheet, DispatchHolder& cell, const std::string& name,
               const std::string& text) {
    {
        Variant cellName = Variant::Bstr(name);
        const Variant args[] = {Variant::ByRef(cellName), Variant::ByRef(cellName)};
        sheet.GetObject(kRange, DispatchKind::PropertyGet, args, cell);
    }
    Variant value = Variant::Bstr(text);
    const Variant args[] = {Variant::ByRef(value)};
    cell.Call(kValue2, DispatchKind::PropertyPut, args, VT_EMPTY);
}

}  // namespace

void ExportToExcel(AutomationClient& client, const ExportList& list,
                   const ExportMessageBox& messageBox) {
    // Declared in the order they are released in reverse: the omitted value
    // goes first, then column, cell, first sheet, sheets, new workbook,
    // workbooks, application.
    DispatchHolder application(client);
    DispatchHolder workbooks(client);
    DispatchHolder newWorkbook(client);
    DispatchHolder sheets(client);
    DispatchHolder firstSheet(client);
    DispatchHolder cell(client);
    DispatchHolder column(client);
    Variant omitted = Variant::Error(DISP_E_PARAMNOTFOUND);

    application.Attach(client.Create("Excel.Application"));
    if (application.Empty()) {
        messageBox("Can not Create Excel Application!", "Warning", MB_OK);
        return;
    }

    application.GetObject(kWorkbooks, DispatchKind::PropertyGet, {}, workbooks);
    {
        const Variant args[] = {Variant::ByRef(omitted)};
        workbooks.GetObject(kAdd, DispatchKind::Method, args, newWorkbook);
    }
    application.GetObject(kSheets, DispatchKind::PropertyGet, {}, sheets);
    {
        Variant sheetNumber = Variant::I2(1);
        const Variant args[] = {Variant::ByRef(sheetNumber)};
        sheets.GetObject(kItem, DispatchKind::PropertyGet, args, firstSheet);
    }

    for (int c = 0; c < list.GetColumnCount(); ++c)
        WriteCell(firstSheet, cell, ColumnLetter(c) + "1", CutHeaderText(list.GetColumnText(c)));

    // Column by column: every row of A, then every row of B, ...
    for (int c = 0; c < list.GetColumnCount(); ++c)
        for (int r = 0; r < list.GetItemCount(); ++r)
            WriteCell(firstSheet, cell, ColumnLetter(c) + std::to_string(r + 2),
                      list.GetItemText(r, c));

    // Only the column of the last cell written is fitted.
    cell.GetObject(kEntireColumn, DispatchKind::PropertyGet, {}, column);
    column.Call(kAutoFit, DispatchKind::Method, {}, VT_VARIANT);

    const Variant yes[] = {Variant::Bool(true)};
    application.Call(kVisible, DispatchKind::PropertyPut, yes, VT_EMPTY);
    application.Call(kUserControl, DispatchKind::PropertyPut, yes, VT_EMPTY);
}
