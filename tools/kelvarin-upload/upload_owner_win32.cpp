#include <windows.h>

#include "serial/serial_messages.h"
#include "upload_owner.h"

namespace {

std::function<void(std::uint8_t)> g_onByte;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SERIAL_BYTE) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (g_onByte) g_onByte(static_cast<std::uint8_t>(wParam));
    return 0;
}

}  // namespace

// The worker's messages arrive at a message-only window of this thread.
OwnerHandle OpenUploadOwner(std::function<void(std::uint8_t byte)> onByte) {
    g_onByte = std::move(onByte);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KelvarinUploadOwner";
    RegisterClassW(&wc);
    return reinterpret_cast<OwnerHandle>(CreateWindowExW(
        0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr));
}

void PumpUploadOwner(std::chrono::milliseconds wait) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait.count()), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void CloseUploadOwner() {
    g_onByte = nullptr;
}
