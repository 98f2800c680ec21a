#pragma once

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "export/automation.h"
#include "export/calc/office_link.h"

// The spreadsheet object model as the export calls it, served by an office
// over UNO: application, workbooks, workbook, sheets, sheet, range and
// columns. Each object answers the members it has by DISPID.

namespace calc {

// What the objects of one application share.
struct Session {
    OfficeLink* link = nullptr;
    // The workbook that Sheets refers to: the last one added.
    css::uno::Reference<css::sheet::XSpreadsheetDocument> active;
    // Documents added while the application was not yet visible; they are
    // closed if it is let go without being shown, as nobody could reach them.
    std::vector<css::uno::Reference<css::frame::XModel>> hidden;
    bool visible = false;
    bool userControl = false;
};

class Object;

struct Result {
    automation::Variant value;
    std::shared_ptr<Object> object;  // set for an object result
};

class Object {
public:
    virtual ~Object() = default;
    // Throws AutomationError for members it does not have or bad arguments,
    // and lets css::uno::Exception from the office through.
    virtual Result Invoke(automation::DispId id, automation::DispatchKind kind,
                          std::span<const automation::Variant> args) = 0;
};

// The application object for a fresh connection to the office.
std::shared_ptr<Object> NewApplication(std::shared_ptr<Session> session);

// Closes the documents the session added and never showed.
void CloseHiddenDocuments(Session& session);

}  // namespace calc
