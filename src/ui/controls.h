#pragma once

#include <string>

#include "ui/backend.h"

// Thin wrappers over a control of a dialog window. A wrapper without a
// control (never bound, or its window already destroyed) does nothing and
// answers with neutral values, so a late call cannot reach a dead window.
class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    void Attach(ControlPeer* peer, int id) {
        m_peer = peer;
        m_id = id;
    }
    void Detach() { m_peer = nullptr; }
    bool IsBound() const { return m_peer != nullptr; }
    int GetDlgCtrlID() const { return m_id; }

    // Returns whether the control was disabled before.
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const { return m_peer && m_peer->IsEnabled() ? TRUE : FALSE; }
    void SetWindowText(const std::string& text) {
        if (m_peer) m_peer->SetText(text);
    }
    std::string GetWindowText() const { return m_peer ? m_peer->GetText() : std::string(); }

protected:
    ControlPeer* m_peer = nullptr;
    int m_id = 0;
};

class CButton : public CWnd {};
class CStatic : public CWnd {};
class CEdit : public CWnd {};

class CComboBox : public CWnd {
public:
    int AddString(const std::string& text) { return m_peer ? m_peer->AddString(text) : -1; }
    int GetCount() const { return m_peer ? m_peer->GetCount() : 0; }
    int GetCurSel() const { return m_peer ? m_peer->GetCurSel() : -1; }
    int SetCurSel(int index) { return m_peer ? m_peer->SetCurSel(index) : -1; }
    std::string GetLBText(int index) const { return m_peer ? m_peer->GetLBText(index) : ""; }
};

// Report list view.
class CListCtrl : public CWnd {
public:
    std::uint32_t GetExtendedStyle() const { return m_peer ? m_peer->GetExtendedStyle() : 0; }
    std::uint32_t SetExtendedStyle(std::uint32_t style);
    int InsertColumn(int column, const std::string& heading, int format = LVCFMT_LEFT,
                     int width = -1, int subItem = -1);
    int GetColumnWidth(int column) const { return m_peer ? m_peer->GetColumnWidth(column) : 0; }
    int GetColumnFormat(int column) const { return m_peer ? m_peer->GetColumnFormat(column) : 0; }
    BOOL DeleteAllItems() { return m_peer && m_peer->DeleteAllItems() ? TRUE : FALSE; }

    int InsertItem(int index, const std::string& text) {
        return m_peer ? m_peer->InsertItem(index, text) : -1;
    }
    bool SetItemText(int row, int column, const std::string& text) {
        return m_peer && m_peer->SetItemText(row, column, text);
    }
    int GetColumnCount() const { return m_peer ? m_peer->GetColumnCount() : 0; }
    std::string GetColumnText(int column) const {
        return m_peer ? m_peer->GetColumnText(column) : "";
    }
    int GetItemCount() const { return m_peer ? m_peer->GetItemCount() : 0; }
    std::string GetItemText(int row, int column) const {
        return m_peer ? m_peer->GetItemText(row, column) : "";
    }
};

// A window's system menu.
class CMenu {
public:
    explicit CMenu(WindowPeer* window = nullptr) : m_window(window) {}
    BOOL AppendMenu(UINT flags, UINT id = 0, const std::string& text = {});

private:
    WindowPeer* m_window;
};
