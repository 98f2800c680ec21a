#pragma once

#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <memory>
#include <string>
#include <vector>

#include "export/calc/calc_client.h"
#include "export/calc/office_link.h"

// A headless office of its own for one test: a fresh profile in a temporary
// directory (seeded so the first start skips its first-run work), and the
// office ended by its PID afterwards.
class PrivateOffice {
public:
    // `seeded` marks the profile as already past its first run.
    explicit PrivateOffice(bool seeded = true);
    ~PrivateOffice();

    // Headless unless a test wants real windows on a display.
    CalcOptions Options(bool headless = true) const;
    const std::string& ProfileDir() const { return m_profile; }
    // Ends an office started with this profile by its PID (and what it started).
    void End(pid_t pid);

private:
    std::string m_profile;
    std::vector<pid_t> m_started;
};

// Reads what the office holds, over a connection of its own.
class OfficeReader {
public:
    explicit OfficeReader(const std::string& profileDir);
    // The spreadsheet documents open in the office.
    std::vector<css::uno::Reference<css::sheet::XSpreadsheetDocument>> Documents();
    // Closes them all, unsaved.
    void CloseAll();
    // The texts of a block of cells of the first sheet ("A1:D3"), row by row;
    // a cell holding a number (or a formula's number) reads "#number".
    static std::vector<std::vector<std::string>> Texts(
        const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc, const std::string& range);
    // The text of a cell of the first sheet, by name (as Texts reads it).
    static std::string CellText(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
                                const std::string& name) {
        return Texts(doc, name).at(0).at(0);
    }
    // Width of a column of the first sheet, in 1/100 mm.
    static int ColumnWidth(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
                           int column);
    // The window is shown with its menu, tool and status bars.
    static bool WindowVisible(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);

private:
    OfficeLink m_link;
};

// Office processes whose command line names `profileDir`.
std::vector<pid_t> OfficesUsing(const std::string& profileDir);
