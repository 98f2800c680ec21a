#pragma once

#include <string>

// The part of a report list view that the record handling writes to.
class RecordList {
public:
    // Inserts a row at `index`; an index past the last row appends. Returns
    // the row the item actually landed in, or -1 when nothing was inserted.
    virtual int InsertItem(int index, const std::string& text) = 0;
    virtual bool SetItemText(int row, int column, const std::string& text) = 0;

protected:
    ~RecordList() = default;
};
