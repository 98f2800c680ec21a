#pragma once

#include <string>
#include <vector>

#include "export/export_list.h"

// An in-memory list with the window's columns unless told otherwise.
class TableList final : public ExportList {
public:
    std::vector<std::string> headers{"ID", "DATA", "UNIT", "PASS"};
    std::vector<std::vector<std::string>> rows;

    // n rows whose texts name their place, e.g. "r3c1".
    static TableList WithRows(int n) {
        TableList list;
        for (int r = 0; r < n; ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < 4; ++c)
                row.push_back(std::string("r")
                                  .append(std::to_string(r))
                                  .append("c")
                                  .append(std::to_string(c)));
            list.rows.push_back(row);
        }
        return list;
    }

    int GetColumnCount() const override { return static_cast<int>(headers.size()); }
    std::string GetColumnText(int column) const override { return headers.at(column); }
    int GetItemCount() const override { return static_cast<int>(rows.size()); }
    std::string GetItemText(int row, int column) const override { return rows.at(row).at(column); }
};
