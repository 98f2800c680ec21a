#include "ui/qt/qt_controls.h"

#include <QHeaderView>
#include <QPalette>
#include <algorithm>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string S(const QString& text) {
    return text.toStdString();
}

}  // namespace

void QtButtonPeer::SetText(const std::string& text) {
    m_widget->setText(Q(text));
}
std::string QtButtonPeer::GetText() const {
    return S(m_widget->text());
}

void QtLabelPeer::SetText(const std::string& text) {
    m_widget->setText(Q(text));
}
std::string QtLabelPeer::GetText() const {
    return S(m_widget->text());
}

void QtEditPeer::SetText(const std::string& text) {
    m_widget->setText(Q(text));
    // A text wider than the field shows its start, as a fresh edit does.
    m_widget->setCursorPosition(0);
}
std::string QtEditPeer::GetText() const {
    return S(m_widget->text());
}

std::string QtComboPeer::GetText() const {
    return S(m_widget->currentText());
}

int QtComboPeer::AddString(const std::string& text) {
    m_widget->addItem(Q(text));
    return m_widget->count() - 1;
}

int QtComboPeer::SetCurSel(int index) {
    if (index < 0 || index >= m_widget->count()) {
        m_widget->setCurrentIndex(-1);
        return -1;
    }
    m_widget->setCurrentIndex(index);
    return index;
}

std::string QtComboPeer::GetLBText(int index) const {
    return index >= 0 && index < m_widget->count() ? S(m_widget->itemText(index)) : std::string();
}

QtListPeer::QtListPeer(QTableWidget* widget) : QtWidgetPeer(widget) {
    m_widget->setColumnCount(0);
    m_widget->verticalHeader()->hide();
    // Rows as tight as a report view's: the text and a little air.
    m_widget->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_widget->verticalHeader()->setDefaultSectionSize(m_widget->fontMetrics().height() + 4);
    m_widget->horizontalHeader()->setStretchLastSection(false);
    m_widget->horizontalHeader()->setHighlightSections(false);
    m_widget->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_widget->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_widget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_widget->setWordWrap(false);
    m_widget->setShowGrid(false);
    m_widget->setCornerButtonEnabled(false);
    // The selection is not shown while the list lacks the focus.
    QPalette palette = m_widget->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Inactive, QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Inactive, QPalette::Text));
    m_widget->setPalette(palette);
}

void QtListPeer::SetExtendedStyle(std::uint32_t style) {
    m_extendedStyle = style;
    m_widget->setShowGrid((style & LVS_EX_GRIDLINES) != 0);
}

int QtListPeer::InsertColumn(int index, const std::string& heading, int format, int width) {
    if (index < 0) return -1;
    index = std::min(index, m_widget->columnCount());
    m_widget->insertColumn(index);
    auto* header = new QTableWidgetItem(Q(heading));
    header->setData(Qt::UserRole, format);
    const Qt::Alignment align = (format & 3) == LVCFMT_CENTER ? Qt::AlignCenter
                                : (format & 3) == 1           ? Qt::AlignRight | Qt::AlignVCenter
                                                              : Qt::AlignLeft | Qt::AlignVCenter;
    header->setTextAlignment(align);
    m_widget->setHorizontalHeaderItem(index, header);
    if (width >= 0) m_widget->setColumnWidth(index, width);
    return index;
}

std::string QtListPeer::GetColumnText(int column) const {
    const QTableWidgetItem* header = m_widget->horizontalHeaderItem(column);
    return header ? S(header->text()) : std::string();
}

int QtListPeer::GetColumnWidth(int column) const {
    return column >= 0 && column < m_widget->columnCount() ? m_widget->columnWidth(column) : 0;
}

int QtListPeer::GetColumnFormat(int column) const {
    const QTableWidgetItem* header = m_widget->horizontalHeaderItem(column);
    return header ? header->data(Qt::UserRole).toInt() : 0;
}

QTableWidgetItem* QtListPeer::NewCell(int column, const std::string& text) const {
    auto* cell = new QTableWidgetItem(Q(text));
    if (const QTableWidgetItem* header = m_widget->horizontalHeaderItem(column))
        cell->setTextAlignment(Qt::Alignment(header->textAlignment()));
    cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return cell;
}

int QtListPeer::InsertItem(int index, const std::string& text) {
    if (index < 0 || m_widget->columnCount() == 0) return -1;
    const int row = std::min(index, m_widget->rowCount());
    m_widget->insertRow(row);
    m_widget->setItem(row, 0, NewCell(0, text));
    return row;
}

bool QtListPeer::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= m_widget->rowCount() || column < 0 || column >= m_widget->columnCount())
        return false;
    if (QTableWidgetItem* cell = m_widget->item(row, column))
        cell->setText(Q(text));
    else
        m_widget->setItem(row, column, NewCell(column, text));
    return true;
}

std::string QtListPeer::GetItemText(int row, int column) const {
    const QTableWidgetItem* cell = m_widget->item(row, column);
    return cell ? S(cell->text()) : std::string();
}

bool QtListPeer::DeleteAllItems() {
    m_widget->setRowCount(0);
    return true;
}
