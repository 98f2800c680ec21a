#pragma once

#include <functional>
#include <string>
#include <vector>

#include "export/export_list.h"

// An in-memory list with the window's columns unless told otherwise.
class TableList final : public ExportList {
public:
    std::vector<std::string> headers{"ID", "DATA", "UNIT", "PASS"};
    std::vector<std::vector<std::string>> rows;
    std::function<void()> beforeItem;  // runs before each row text is handed out

    // n rows whose texts name their place, e.g. "r3c1".
    static TableList WithRows(int n) {
        TableList list;
        for (int r = 0; r < n; ++r) {
            list.rows.emplace_back();
            for (int c = 0; c < 4; ++c)
                list.rows.back().push_back("r" + std::to_string(r) + "c" + std::to_string(c));
        }
        return list;
    }

    int GetColumnCount() const override { return static_cast<int>(headers.size()); }
    std::string GetColumnText(int column) const override { return headers.at(column); }
    int GetItemCount() const override { return static_cast<int>(rows.size()); }
    std::string GetItemText(int row, int column) const override {
        if (beforeItem) beforeItem();
        return rows.at(row).at(column);
    }
};
