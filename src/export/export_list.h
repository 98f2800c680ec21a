#pragma once

#include <string>

// What the export reads from the window's report list view. Every count is
// asked again at each loop test, as the export walks the list.
class ExportList {
public:
    virtual int GetColumnCount() const = 0;
    // The heading of `column` (UTF-8); the export itself cuts it to the
    // length its text buffer holds.
    virtual std::string GetColumnText(int column) const = 0;
    virtual int GetItemCount() const = 0;
    virtual std::string GetItemText(int row, int column) const = 0;

protected:
    ~ExportList() = default;
};
