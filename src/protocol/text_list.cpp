#include "protocol/text_list.h"

int TextList::InsertItem(int index, const std::string& text) {
    if (index < 0) return -1;
    const int row = index > GetItemCount() ? GetItemCount() : index;
    std::vector<std::string> cells(m_headings.size());
    if (!cells.empty()) cells[0] = text;
    m_rows.insert(m_rows.begin() + row, std::move(cells));
    return row;
}

bool TextList::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= GetItemCount() || column < 0 || column >= GetColumnCount()) return false;
    m_rows[row][column] = text;
    return true;
}

std::string TextList::GetItemText(int row, int column) const {
    if (row < 0 || row >= GetItemCount() || column < 0 || column >= GetColumnCount()) return {};
    return m_rows[row][column];
}
