#include "export/calc/calc_objects.h"

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLayoutManager.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cstdio>

#include "export/excel_dispids.h"

using namespace automation;
using namespace css::uno;
using rtl::OUString;

namespace calc {
namespace {

using namespace automation::excel;

constexpr std::int32_t kMemberNotFound = static_cast<std::int32_t>(0x80020003u);
constexpr std::int32_t kTypeMismatch = static_cast<std::int32_t>(0x80020005u);
constexpr std::int32_t kBadParamCount = static_cast<std::int32_t>(0x8002000Eu);
constexpr std::int32_t kBadIndex = static_cast<std::int32_t>(0x8002000Bu);

[[noreturn]] void NoMember(const char* object, DispId id) {
    char text[96];
    std::snprintf(text, sizeof text, "%s has no member 0x%X for this kind of call", object,
                  static_cast<unsigned>(id));
    throw AutomationError(text, kMemberNotFound);
}

// Argument i, followed through a by-reference variant; an argument not
// given reads as omitted.
Variant Arg(std::span<const Variant> args, std::size_t i) {
    if (i >= args.size()) return Variant::Error(DISP_E_PARAMNOTFOUND);
    const Variant& a = args[i];
    if (a.vt == (VT_VARIANT | VT_BYREF) && a.pvarVal != nullptr) return *a.pvarVal;
    return a;
}

bool Omitted(const Variant& v) {
    return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

bool BoolArg(std::span<const Variant> args) {
    if (args.size() != 1) throw AutomationError("One value expected", kBadParamCount);
    Variant v = Arg(args, 0);
    if (v.vt == VT_BOOL) return v.boolVal;
    throw AutomationError("A Boolean value expected", kTypeMismatch);
}

Variant True() {
    return Variant::Bool(true);
}

class Columns final : public Object {
public:
    explicit Columns(Reference<css::table::XTableColumns> columns) : m_columns(columns) {}
    Result Invoke(DispId id, DispatchKind kind, std::span<const Variant>) override {
        if (id != kAutoFit || kind != DispatchKind::Method) NoMember("Columns", id);
        // Optimal width: as wide as the widest text in the column.
        for (sal_Int32 i = 0, n = m_columns->getCount(); i < n; ++i) {
            Reference<css::beans::XPropertySet> column(m_columns->getByIndex(i), UNO_QUERY_THROW);
            column->setPropertyValue("OptimalWidth", Any(true));
        }
        return {True(), nullptr};
    }

private:
    Reference<css::table::XTableColumns> m_columns;
};

class Range final : public Object {
public:
    explicit Range(Reference<css::table::XCellRange> range) : m_range(range) {}

    Result Invoke(DispId id, DispatchKind kind, std::span<const Variant> args) override {
        if (id == kValue2 && kind == DispatchKind::PropertyPut) {
            if (args.size() != 1) throw AutomationError("One value expected", kBadParamCount);
            PutValue(Arg(args, 0));
            return {};
        }
        if (id == kEntireColumn && kind == DispatchKind::PropertyGet) {
            Reference<css::table::XColumnRowRange> range(m_range, UNO_QUERY_THROW);
            return {{}, std::make_shared<Columns>(range->getColumns())};
        }
        NoMember("Range", id);
    }

private:
    // The export writes one cell at a time, always as text, never parsed:
    // "0012", "1/2" and "=1" stay what they say.
    void PutValue(const Variant& value) {
        Reference<css::text::XText> cell(m_range, UNO_QUERY);
        if (!cell.is()) throw AutomationError("A value goes into a single cell", kTypeMismatch);
        if (value.vt != VT_BSTR)
            throw AutomationError("Value of a type cells do not take", kTypeMismatch);
        cell->setString(FromUtf8(value.bstrVal));
    }

    Reference<css::table::XCellRange> m_range;
};

class Sheet final : public Object {
public:
    explicit Sheet(Reference<css::sheet::XSpreadsheet> sheet) : m_sheet(sheet) {}

    Result Invoke(DispId id, DispatchKind kind, std::span<const Variant> args) override {
        if (id != kRange || kind != DispatchKind::PropertyGet) NoMember("Worksheet", id);
        if (args.empty() || args.size() > 2)
            throw AutomationError("Range takes one or two cell names", kBadParamCount);
        Variant first = Arg(args, 0);
        Variant second = Arg(args, 1);
        if (first.vt != VT_BSTR || (!Omitted(second) && second.vt != VT_BSTR))
            throw AutomationError("Range takes cell names", kTypeMismatch);
        std::string name = first.bstrVal;
        if (!Omitted(second) && second.bstrVal != first.bstrVal) name += ":" + second.bstrVal;
        // The office rejects names that are no cells with a RuntimeException.
        return {{}, std::make_shared<Range>(m_sheet->getCellRangeByName(FromUtf8(name)))};
    }

private:
    Reference<css::sheet::XSpreadsheet> m_sheet;
};

class Sheets final : public Object {
public:
    explicit Sheets(Reference<css::sheet::XSpreadsheets> sheets) : m_sheets(sheets) {}

    Result Invoke(DispId id, DispatchKind kind, std::span<const Variant> args) override {
        if (id != kItem || (kind != DispatchKind::PropertyGet && kind != DispatchKind::Method))
            NoMember("Sheets", id);
        if (args.size() != 1) throw AutomationError("Item takes one index", kBadParamCount);
        Variant which = Arg(args, 0);
        Reference<css::sheet::XSpreadsheet> sheet;
        if (which.vt == VT_I2) {
            // Counted from 1, as the sheet tabs are.
            Reference<css::container::XIndexAccess> byIndex(m_sheets, UNO_QUERY_THROW);
            if (which.iVal < 1 || which.iVal > byIndex->getCount())
                throw AutomationError("No sheet with that number", kBadIndex);
            sheet.set(byIndex->getByIndex(which.iVal - 1), UNO_QUERY_THROW);
        } else if (which.vt == VT_BSTR) {
            OUString name = FromUtf8(which.bstrVal);
            if (!m_sheets->hasByName(name))
                throw AutomationError("No sheet with that name", kBadIndex);
            sheet.set(m_sheets->getByName(name), UNO_QUERY_THROW);
        } else {
            throw AutomationError("A sheet number or name expected", kTypeMismatch);
        }
        return {{}, std::make_shared<Sheet>(sheet)};
    }

private:
    Reference<css::sheet::XSpreadsheets> m_sheets;
};

class Workbook final : public Object {
public:
    explicit Workbook(Reference<css::sheet::XSpreadsheetDocument> doc) : m_doc(doc) {}

    Result Invoke(DispId id, DispatchKind kind, std::span<const Variant>) override {
        if (id != kSheets || kind != DispatchKind::PropertyGet) NoMember("Workbook", id);
        return {{}, std::make_shared<Sheets>(m_doc->getSheets())};
    }

private:
    Reference<css::sheet::XSpreadsheetDocument> m_doc;
};

class Workbooks final : public Object {
public:
    explicit Workbooks(std::shared_ptr<Session> session) : m_session(std::move(session)) {}

    Result Invoke(DispId id, DispatchKind kind, std::span<const Variant> args) override {
        if (id != kAdd || kind != DispatchKind::Method) NoMember("Workbooks", id);
        if (args.size() > 1 || !Omitted(Arg(args, 0)))
            throw AutomationError("Add takes no template here", kTypeMismatch);
        // Hidden until the application is made visible, and never stored:
        // it has no location, so nothing is written anywhere.
        css::beans::PropertyValue hidden;
        hidden.Name = "Hidden";
        hidden.Value <<= !m_session->visible;
        Reference<css::frame::XDesktop2> desktop = m_session->link->Desktop();
        if (!desktop.is()) throw css::lang::DisposedException("The office connection is gone");
        Reference<css::lang::XComponent> component = desktop->loadComponentFromURL(
            "private:factory/scalc", "_blank", 0, Sequence<css::beans::PropertyValue>(&hidden, 1));
        Reference<css::sheet::XSpreadsheetDocument> doc(component, UNO_QUERY);
        if (!doc.is()) throw AutomationError("The office made no spreadsheet");
        m_session->active = doc;
        if (!m_session->visible)
            m_session->hidden.push_back(Reference<css::frame::XModel>(doc, UNO_QUERY));
        return {{}, std::make_shared<Workbook>(doc)};
    }

private:
    std::shared_ptr<Session> m_session;
};

// Shows the document's window with its menus and toolbars, which a
// document loaded hidden does not have yet.
void Show(const Reference<css::frame::XModel>& model) {
    if (!model.is()) return;
    Reference<css::frame::XFrame> frame = model->getCurrentController()->getFrame();
    Reference<css::awt::XWindow> window = frame->getContainerWindow();
    window->setVisible(true);
    Reference<css::beans::XPropertySet> frameProps(frame, UNO_QUERY);
    Reference<css::frame::XLayoutManager> layout;
    if (frameProps.is()) frameProps->getPropertyValue("LayoutManager") >>= layout;
    if (layout.is()) {
        for (const char* element :
             {"private:resource/menubar/menubar", "private:resource/toolbar/standardbar",
              "private:resource/toolbar/formatobjectbar", "private:resource/statusbar/statusbar"}) {
            OUString name = OUString::createFromAscii(element);
            layout->createElement(name);
            layout->showElement(name);
        }
        layout->doLayout();
    }
    Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
    if (top.is()) top->toFront();
}

class Application final : public Object {
public:
    explicit Application(std::shared_ptr<Session> session) : m_session(std::move(session)) {}

    Result Invoke(DispId id, DispatchKind kind, std::span<const Variant> args) override {
        if (id == kWorkbooks && kind == DispatchKind::PropertyGet)
            return {{}, std::make_shared<Workbooks>(m_session)};
        if (id == kSheets && kind == DispatchKind::PropertyGet) {
            // The sheets of the active workbook: the one added last.
            if (!m_session->active.is()) throw AutomationError("No workbook is open");
            return {{}, std::make_shared<Sheets>(m_session->active->getSheets())};
        }
        if (id == kVisible && kind == DispatchKind::PropertyPut) {
            if (BoolArg(args)) {
                for (const auto& model : m_session->hidden) Show(model);
                m_session->hidden.clear();
                m_session->visible = true;
            }
            return {};
        }
        if (id == kVisible && kind == DispatchKind::PropertyGet)
            return {Variant::Bool(m_session->visible), nullptr};
        if (id == kUserControl && kind == DispatchKind::PropertyPut) {
            // The office's windows belong to the user anyway.
            m_session->userControl = BoolArg(args);
            return {};
        }
        NoMember("Application", id);
    }

private:
    std::shared_ptr<Session> m_session;
};

}  // namespace

std::shared_ptr<Object> NewApplication(std::shared_ptr<Session> session) {
    return std::make_shared<Application>(std::move(session));
}

void CloseHiddenDocuments(Session& session) {
    for (const auto& model : session.hidden) {
        Reference<css::util::XCloseable> closeable(model, UNO_QUERY);
        if (closeable.is()) closeable->close(true);
    }
    session.hidden.clear();
    session.active.clear();
}

}  // namespace calc
