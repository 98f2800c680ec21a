#include "ui/win32/win32_controls.h"

#include <commctrl.h>

#include "winapi/win32_text.h"

void Win32Control::Enable(bool enable) {
    const bool hadFocus = !enable && ::GetFocus() == m_hwnd;
    ::EnableWindow(m_hwnd, enable ? TRUE : FALSE);
    // A disabled control loses the focus, and a dialog without one gets no
    // keys, not even Escape: the focus goes on to the next control, or to
    // the dialog itself when no other takes it.
    if (hadFocus && !::GetFocus()) {
        HWND dialog = ::GetParent(m_hwnd);
        ::SendMessageW(dialog, WM_NEXTDLGCTL, 0, FALSE);
        if (!::GetFocus()) ::SetFocus(dialog);
    }
}

bool Win32Control::IsEnabled() const {
    return ::IsWindowEnabled(m_hwnd) != FALSE;
}

void Win32Control::SetText(const std::string& text) {
    ::SetWindowTextW(m_hwnd, WidenUtf8(text).c_str());
}

std::string Win32Control::GetText() const {
    const int length = ::GetWindowTextLengthW(m_hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return NarrowUtf16(text);
}

int Win32Control::AddString(const std::string& text) {
    if (!IsCombo()) return -1;
    const std::wstring wide = WidenUtf8(text);
    return static_cast<int>(
        ::SendMessageW(m_hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int Win32Control::GetCount() const {
    return IsCombo() ? static_cast<int>(::SendMessageW(m_hwnd, CB_GETCOUNT, 0, 0)) : 0;
}

int Win32Control::GetCurSel() const {
    return IsCombo() ? static_cast<int>(::SendMessageW(m_hwnd, CB_GETCURSEL, 0, 0)) : -1;
}

int Win32Control::SetCurSel(int index) {
    return IsCombo() ? static_cast<int>(::SendMessageW(m_hwnd, CB_SETCURSEL, index, 0)) : -1;
}

std::string Win32Control::GetLBText(int index) const {
    if (!IsCombo()) return {};
    const LRESULT length = ::SendMessageW(m_hwnd, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(m_hwnd, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return NarrowUtf16(text);
}

std::uint32_t Win32Control::GetExtendedStyle() const {
    return IsList() ? static_cast<std::uint32_t>(
                          ::SendMessageW(m_hwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0))
                    : 0;
}

void Win32Control::SetExtendedStyle(std::uint32_t style) {
    // Mask 0: every bit is taken from `style`.
    if (IsList()) ::SendMessageW(m_hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style);
}

int Win32Control::InsertColumn(int column, const std::string& heading, int format, int width) {
    if (!IsList()) return -1;
    std::wstring text = WidenUtf8(heading);
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_TEXT;
    col.fmt = format;
    col.pszText = text.data();
    if (width >= 0) {
        col.mask |= LVCF_WIDTH;
        col.cx = width;
    }
    return static_cast<int>(
        ::SendMessageW(m_hwnd, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&col)));
}

int Win32Control::GetColumnCount() const {
    if (!IsList()) return 0;
    const HWND header = reinterpret_cast<HWND>(::SendMessageW(m_hwnd, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string Win32Control::GetColumnText(int column) const {
    if (!IsList()) return {};
    wchar_t buffer[256] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.pszText = buffer;
    col.cchTextMax = 256;
    if (!::SendMessageW(m_hwnd, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col))) return {};
    // The control may answer with a pointer of its own instead of filling ours.
    return col.pszText ? NarrowUtf16(col.pszText) : std::string();
}

int Win32Control::GetColumnWidth(int column) const {
    return IsList() ? static_cast<int>(::SendMessageW(m_hwnd, LVM_GETCOLUMNWIDTH, column, 0)) : 0;
}

int Win32Control::GetColumnFormat(int column) const {
    if (!IsList()) return 0;
    LVCOLUMNW col{};
    col.mask = LVCF_FMT;
    if (!::SendMessageW(m_hwnd, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col))) return 0;
    return col.fmt & LVCFMT_JUSTIFYMASK;
}

int Win32Control::InsertItem(int index, const std::string& text) {
    if (!IsList()) return -1;
    std::wstring wide = WidenUtf8(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = wide.data();
    return static_cast<int>(
        ::SendMessageW(m_hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool Win32Control::SetItemText(int row, int column, const std::string& text) {
    if (!IsList()) return false;
    std::wstring wide = WidenUtf8(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    return ::SendMessageW(m_hwnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::string Win32Control::GetItemText(int row, int column) const {
    if (!IsList()) return {};
    // The control copies at most the buffer's size: grow until it fits.
    for (std::size_t size = 256;; size *= 2) {
        std::wstring buffer(size, L'\0');
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        const auto length = static_cast<std::size_t>(
            ::SendMessageW(m_hwnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < size || size >= (1u << 20)) {
            buffer.resize(length < size ? length : size - 1);
            return NarrowUtf16(buffer);
        }
    }
}

int Win32Control::GetItemCount() const {
    return IsList() ? static_cast<int>(::SendMessageW(m_hwnd, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

bool Win32Control::DeleteAllItems() {
    return IsList() && ::SendMessageW(m_hwnd, LVM_DELETEALLITEMS, 0, 0) != 0;
}
