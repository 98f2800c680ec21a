#pragma once

#include <windows.h>

#undef LoadIcon
#undef MessageBox
#undef SendMessage

#include "ui/backend.h"

// One native control of a dialog; every call is the control's own window
// message, with texts converted between UTF-8 and UTF-16.
class Win32Control : public ControlPeer {
public:
    Win32Control(HWND hwnd, ControlKind kind) : m_hwnd(hwnd), m_kind(kind) {}

    void Enable(bool enable) override;
    bool IsEnabled() const override;
    void SetText(const std::string& text) override;
    std::string GetText() const override;

    int AddString(const std::string& text) override;
    int GetCount() const override;
    int GetCurSel() const override;
    int SetCurSel(int index) override;
    std::string GetLBText(int index) const override;

    std::uint32_t GetExtendedStyle() const override;
    void SetExtendedStyle(std::uint32_t style) override;
    int InsertColumn(int column, const std::string& heading, int format, int width) override;
    int GetColumnCount() const override;
    std::string GetColumnText(int column) const override;
    int GetColumnWidth(int column) const override;
    int GetColumnFormat(int column) const override;
    int InsertItem(int index, const std::string& text) override;
    bool SetItemText(int row, int column, const std::string& text) override;
    std::string GetItemText(int row, int column) const override;
    int GetItemCount() const override;
    bool DeleteAllItems() override;

    HWND Hwnd() const { return m_hwnd; }

private:
    bool IsList() const { return m_kind == ControlKind::ListView; }
    bool IsCombo() const { return m_kind == ControlKind::DropList; }

    HWND m_hwnd;
    ControlKind m_kind;
};
