#pragma once

#include <string>
#include <vector>

#include "protocol/record_list.h"

// An in-memory report list: column headings and rows of texts. Serves the
// console uploader and the tests wherever no real list view exists.
class TextList : public RecordList {
public:
    explicit TextList(std::vector<std::string> headings = {"ID", "DATA", "UNIT", "PASS"})
        : m_headings(std::move(headings)) {}

    int InsertItem(int index, const std::string& text) override;
    bool SetItemText(int row, int column, const std::string& text) override;

    void DeleteAllItems() { m_rows.clear(); }
    int GetItemCount() const { return static_cast<int>(m_rows.size()); }
    int GetColumnCount() const { return static_cast<int>(m_headings.size()); }
    const std::string& GetColumnText(int column) const { return m_headings.at(column); }
    std::string GetItemText(int row, int column) const;

private:
    std::vector<std::string> m_headings;
    std::vector<std::vector<std::string>> m_rows;
};
