#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "ui/backend.h"

// Control peers over Qt widgets. The widgets belong to their dialog widget;
// a peer only points at one.

// Enabled means enabled by the program itself, whatever its window's state.
template <class W>
class QtWidgetPeer : public ControlPeer {
public:
    explicit QtWidgetPeer(W* widget) : m_widget(widget) {}
    void Enable(bool enable) override { m_widget->setEnabled(enable); }
    bool IsEnabled() const override { return !m_widget->testAttribute(Qt::WA_ForceDisabled); }
    W* Widget() const { return m_widget; }

protected:
    W* m_widget;
};

class QtButtonPeer : public QtWidgetPeer<QPushButton> {
public:
    using QtWidgetPeer::QtWidgetPeer;
    void SetText(const std::string& text) override;
    std::string GetText() const override;
};

class QtLabelPeer : public QtWidgetPeer<QLabel> {
public:
    using QtWidgetPeer::QtWidgetPeer;
    void SetText(const std::string& text) override;
    std::string GetText() const override;
};

class QtEditPeer : public QtWidgetPeer<QLineEdit> {
public:
    using QtWidgetPeer::QtWidgetPeer;
    void SetText(const std::string& text) override;
    std::string GetText() const override;
};

class QtComboPeer : public QtWidgetPeer<QComboBox> {
public:
    using QtWidgetPeer::QtWidgetPeer;
    void SetText(const std::string&) override {}
    std::string GetText() const override;
    int AddString(const std::string& text) override;
    int GetCount() const override { return m_widget->count(); }
    int GetCurSel() const override { return m_widget->currentIndex(); }
    int SetCurSel(int index) override;
    std::string GetLBText(int index) const override;
};

// The report view: a table with a header row, whole rows selected, several
// at a time, and no editing.
class QtListPeer : public QtWidgetPeer<QTableWidget> {
public:
    explicit QtListPeer(QTableWidget* widget);
    void SetText(const std::string&) override {}
    std::string GetText() const override { return {}; }

    std::uint32_t GetExtendedStyle() const override { return m_extendedStyle; }
    void SetExtendedStyle(std::uint32_t style) override;
    int InsertColumn(int index, const std::string& heading, int format, int width) override;
    int GetColumnCount() const override { return m_widget->columnCount(); }
    std::string GetColumnText(int column) const override;
    int GetColumnWidth(int column) const override;
    int GetColumnFormat(int column) const override;
    int InsertItem(int index, const std::string& text) override;
    bool SetItemText(int row, int column, const std::string& text) override;
    std::string GetItemText(int row, int column) const override;
    int GetItemCount() const override { return m_widget->rowCount(); }
    bool DeleteAllItems() override;

private:
    QTableWidgetItem* NewCell(int column, const std::string& text) const;

    std::uint32_t m_extendedStyle = 0;
};
