#include "ui/win32/win32_backend.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <utility>

#include "ui/win32/dialog_builder.h"
#include "winapi/win32_text.h"

Win32Backend::Win32Backend(HINSTANCE instance)
    : m_instance(instance ? instance : ::GetModuleHandleW(nullptr)) {}

std::unique_ptr<WindowPeer> Win32Backend::NewWindow(const DialogTemplate& tmpl, WindowSink& sink,
                                                    WindowPeer* parent) {
    HWND owner = parent ? static_cast<Win32Window*>(parent)->Hwnd() : nullptr;
    return std::make_unique<Win32Window>(m_instance, tmpl, sink, owner);
}

HICON Win32Backend::LoadIcon(int resourceId) {
    if (HICON icon = LoadIconInAnyLanguage(m_instance, resourceId)) return icon;
    return ::LoadIconW(m_instance, MAKEINTRESOURCEW(resourceId));
}

HICON LoadIconInAnyLanguage(HINSTANCE instance, int resourceId) {
    // Some loaders (Wine's) look only in the neutral and the user's
    // languages; the program's icons are Chinese (Simplified).
    for (WORD language : {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
                          MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)}) {
        HRSRC group = ::FindResourceExW(instance, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */,
                                        MAKEINTRESOURCEW(resourceId), language);
        auto* directory =
            group ? static_cast<BYTE*>(::LockResource(::LoadResource(instance, group))) : nullptr;
        if (!directory) continue;
        const int cx = ::GetSystemMetrics(SM_CXICON);
        const int cy = ::GetSystemMetrics(SM_CYICON);
        const int id = ::LookupIconIdFromDirectoryEx(directory, TRUE, cx, cy, LR_DEFAULTCOLOR);
        HRSRC image = ::FindResourceExW(instance, MAKEINTRESOURCEW(3) /* RT_ICON */,
                                        MAKEINTRESOURCEW(id), language);
        auto* bits =
            image ? static_cast<BYTE*>(::LockResource(::LoadResource(instance, image))) : nullptr;
        if (!bits) continue;
        // Kept for the life of the program, as a shared icon would be.
        if (HICON icon = ::CreateIconFromResourceEx(bits, ::SizeofResource(instance, image), TRUE,
                                                    0x00030000, cx, cy, LR_DEFAULTCOLOR))
            return icon;
    }
    return nullptr;
}

int Win32Backend::MessageBox(WindowPeer* owner, const std::string& text, const std::string& caption,
                             UINT type) {
    HWND hwnd = owner ? static_cast<Win32Window*>(owner)->Hwnd() : nullptr;
    return ::MessageBoxW(hwnd, WidenUtf8(text).c_str(), WidenUtf8(caption).c_str(), type);
}

bool Win32Backend::InitCommonControls(std::uint32_t classes) {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), classes};
    return ::InitCommonControlsEx(&init) != FALSE;
}

Win32Window::Win32Window(HINSTANCE instance, const DialogTemplate& tmpl, WindowSink& sink,
                         HWND parent)
    : m_instance(instance), m_template(tmpl), m_sink(sink), m_parent(parent) {}

Win32Window::~Win32Window() {
    m_controls.clear();
    if (m_hwnd) {
        HWND hwnd = m_hwnd;
        m_hwnd = nullptr;
        // No message may reach the dialog object that is letting go of us.
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        ::DestroyWindow(hwnd);
    }
}

void Win32Window::Create() {
    if (m_hwnd) return;
    const std::vector<std::uint32_t> data = BuildDialogTemplate(m_template);
    ::CreateDialogIndirectParamW(m_instance, reinterpret_cast<LPCDLGTEMPLATEW>(data.data()),
                                 m_parent, &Win32Window::DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (!m_hwnd) return;
    WidenLabels();
    // An icon the dialog manager could not load (see LoadIconInAnyLanguage).
    for (const ControlTemplate& c : m_template.controls) {
        if (c.kind != ControlKind::Icon) continue;
        HWND control = c.id != -1 ? ::GetDlgItem(m_hwnd, c.id) : FindIconControl();
        if (control && !::SendMessageW(control, STM_GETICON, 0, 0))
            if (HICON icon = LoadIconInAnyLanguage(m_instance, c.resource))
                ::SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
}

namespace {

// The width the label's text takes on one line in the label's own font.
int TextWidth(HWND label) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(label)) + 1, L'\0');
    const int got = ::GetWindowTextW(label, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    HDC dc = ::GetDC(label);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
    RECT extent{};
    const UINT prefix = (::GetWindowLongW(label, GWL_STYLE) & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    ::DrawTextW(dc, text.c_str(), -1, &extent, DT_CALCRECT | DT_SINGLELINE | prefix);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    return extent.right - extent.left;
}

}  // namespace

// The template's widths are in dialog units, from the font's average letter;
// a given text in a given face, hinted, may need more. A label too narrow for
// its text takes the free room to its right rather than lose its last
// letters; one that fits keeps the template's rectangle.
void Win32Window::WidenLabels() {
    // The dialog manager makes the controls in template order, each below
    // the one before in the Z order.
    HWND child = ::GetWindow(m_hwnd, GW_CHILD);
    for (const ControlTemplate& c : m_template.controls) {
        if (!child) break;
        HWND control = std::exchange(child, ::GetWindow(child, GW_HWNDNEXT));
        if (c.kind != ControlKind::Static) continue;
        RECT placed;
        ::GetWindowRect(control, &placed);
        ::MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&placed), 2);
        const int width = placed.right - placed.left;
        const int needed = TextWidth(control);
        if (needed <= width) continue;
        // Never narrower than the template made it.
        const int widened = std::max(width, std::min(needed, RoomToTheRight(c, placed)));
        ::SetWindowPos(control, nullptr, 0, 0, widened, placed.bottom - placed.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// Up to the nearest visible control that starts right of the template's
// rectangle on the same rows, one pixel apart, or to the dialog's edge.
int Win32Window::RoomToTheRight(const ControlTemplate& c, const RECT& placed) const {
    RECT edge{};
    if (const ControlTemplate* next = m_template.RightNeighbour(c)) {
        edge.left = next->x;
        ::MapDialogRect(m_hwnd, &edge);
        return edge.left - 1 - placed.left;
    }
    ::GetClientRect(m_hwnd, &edge);
    return edge.right - placed.left;
}

HWND Win32Window::FindIconControl() const {
    for (HWND child = ::GetWindow(m_hwnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
    return nullptr;
}

INT_PTR Win32Window::RunModal() {
    if (!m_hwnd) return -1;
    m_ended = false;
    const bool disableOwner = m_parent && ::IsWindowEnabled(m_parent);
    if (disableOwner) ::EnableWindow(m_parent, FALSE);
    ::ShowWindow(m_hwnd, SW_SHOWNORMAL);
    ::UpdateWindow(m_hwnd);

    MSG msg;
    while (!m_ended) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // A quit request belongs to the outer loop: hand it on.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        if (m_hwnd && ::IsDialogMessageW(m_hwnd, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }

    // The owner is enabled again before this window goes, so that the
    // activation returns to it.
    if (disableOwner) ::EnableWindow(m_parent, TRUE);
    if (m_hwnd) ::ShowWindow(m_hwnd, SW_HIDE);
    return m_result;
}

void Win32Window::Show() {
    if (m_hwnd) ::ShowWindow(m_hwnd, SW_SHOWNORMAL);
}

void Win32Window::End(INT_PTR result) {
    m_result = result;
    m_ended = true;
    // Wakes the modal loop should it be waiting.
    if (m_hwnd) ::PostMessageW(m_hwnd, WM_NULL, 0, 0);
}

ControlPeer* Win32Window::GetControl(int id) {
    if (!m_hwnd) return nullptr;
    if (auto it = m_controls.find(id); it != m_controls.end()) return it->second.get();
    const ControlTemplate* tmpl = m_template.Find(id);
    HWND control = ::GetDlgItem(m_hwnd, id);
    if (!tmpl || !control) return nullptr;
    auto peer = std::make_unique<Win32Control>(control, tmpl->kind);
    return m_controls.emplace(id, std::move(peer)).first->second.get();
}

bool Win32Window::HasSystemMenu() const {
    return m_hwnd && ::GetSystemMenu(m_hwnd, FALSE) != nullptr;
}

bool Win32Window::AppendSystemMenu(UINT flags, UINT id, const std::string& text) {
    HMENU menu = m_hwnd ? ::GetSystemMenu(m_hwnd, FALSE) : nullptr;
    if (!menu) return false;
    const std::wstring wide = WidenUtf8(text);
    return ::AppendMenuW(menu, flags, id, (flags & MF_SEPARATOR) ? nullptr : wide.c_str()) != FALSE;
}

void Win32Window::SetIcon(HICON icon, bool big) {
    if (m_hwnd)
        ::SendMessageW(m_hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                       reinterpret_cast<LPARAM>(icon));
}

bool Win32Window::IsIconic() const {
    return m_hwnd && ::IsIconic(m_hwnd);
}

void Win32Window::DefaultSysCommand(UINT id, LPARAM lParam) {
    if (m_hwnd) ::DefWindowProcW(m_hwnd, WM_SYSCOMMAND, id, lParam);
}

void Win32Window::DrawIconCentred(HICON icon) {
    if (!m_hwnd) return;
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hwnd, &ps);
    ::SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    ::GetClientRect(m_hwnd, &rect);
    const int x = (rect.right - rect.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rect.bottom - rect.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon);
    ::EndPaint(m_hwnd, &ps);
    m_paintedIcon = true;
}

INT_PTR CALLBACK Win32Window::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32Window*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hwnd = hwnd;
        return self->Handle(message, wParam, 0);
    }
    auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR Win32Window::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            // TRUE: the dialog manager focuses the first visible, enabled tab stop.
            return m_sink.WindowProc(message, wParam, lParam);
        case WM_COMMAND:
        case WM_SYSCOMMAND:
            m_sink.WindowProc(message, wParam, lParam);
            return TRUE;
        case WM_PAINT:
            // Painted here only when the window drew its icon itself; the
            // dialog manager paints everything else.
            m_paintedIcon = false;
            m_sink.WindowProc(message, wParam, lParam);
            return m_paintedIcon ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(m_sink.WindowProc(message, wParam, lParam));
        default:
            // The dialog manager's own (DM_GETDEFID and the like) stay
            // with it, or Enter would lose the default button.
            if (message > DM_REPOSITION && message < 0xC000) {
                const LRESULT result = m_sink.WindowProc(message, wParam, lParam);
                ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
                return TRUE;
            }
            return FALSE;
    }
}
