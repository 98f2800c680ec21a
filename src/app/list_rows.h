#pragma once

#include <string>

#include "export/export_list.h"
#include "protocol/record_list.h"
#include "ui/controls.h"

// Hands the window's list control to the record handling (which writes its
// rows) and to the export (which reads them), so that neither the dialog
// framework nor they know of each other.
class ListRows : public RecordList, public ExportList {
public:
    explicit ListRows(CListCtrl& list) : m_list(list) {}

    int InsertItem(int index, const std::string& text) override {
        return m_list.InsertItem(index, text);
    }
    bool SetItemText(int row, int column, const std::string& text) override {
        return m_list.SetItemText(row, column, text);
    }
    int GetColumnCount() const override { return m_list.GetColumnCount(); }
    std::string GetColumnText(int column) const override { return m_list.GetColumnText(column); }
    int GetItemCount() const override { return m_list.GetItemCount(); }
    std::string GetItemText(int row, int column) const override {
        return m_list.GetItemText(row, column);
    }

private:
    CListCtrl& m_list;
};
