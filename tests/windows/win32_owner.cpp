#include "win32_owner.h"

namespace {
constexpr wchar_t kClass[] = L"KelvarinTestOwner";
}

Win32Owner::Win32Owner(Handler handler) : m_handler(std::move(handler)) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Win32Owner::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);  // fails harmlessly when already registered
    m_hwnd = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), this);
}

Win32Owner::~Win32Owner() {
    Destroy();
}

void Win32Owner::Destroy() {
    if (m_hwnd) DestroyWindow(m_hwnd);
    m_hwnd = nullptr;
}

bool Win32Owner::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return done();
}

LRESULT CALLBACK Win32Owner::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message >= WM_USER && self->m_handler) {
        self->m_handler(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
