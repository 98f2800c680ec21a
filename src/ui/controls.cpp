#include "ui/controls.h"

BOOL CWnd::EnableWindow(BOOL enable) {
    if (!m_peer) return FALSE;
    const bool wasDisabled = !m_peer->IsEnabled();
    m_peer->Enable(enable != FALSE);
    return wasDisabled ? TRUE : FALSE;
}

std::uint32_t CListCtrl::SetExtendedStyle(std::uint32_t style) {
    if (!m_peer) return 0;
    const std::uint32_t old = m_peer->GetExtendedStyle();
    m_peer->SetExtendedStyle(style);
    return old;
}

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width,
                            int /*subItem*/) {
    return m_peer ? m_peer->InsertColumn(column, heading, format, width) : -1;
}

BOOL CMenu::AppendMenu(UINT flags, UINT id, const std::string& text) {
    return m_window && m_window->AppendSystemMenu(flags, id, text) ? TRUE : FALSE;
}
