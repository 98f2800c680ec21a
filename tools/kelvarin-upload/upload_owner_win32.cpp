#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "serial/serial_messages.h"
#include "upload_owner.h"

// The worker's messages arrive at a message-only window of this thread.
struct UploadOwner::Impl {
    explicit Impl(OnByte onByte) : onByte(std::move(onByte)) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Impl::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KelvarinUploadOwner";
        RegisterClassW(&wc);
        hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, this);
    }
    ~Impl() {
        if (hwnd) DestroyWindow(hwnd);
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_SERIAL_BYTE) {
            if (!self->closed) self->onByte(static_cast<std::uint8_t>(wParam));
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    OnByte onByte;
    HWND hwnd = nullptr;
    bool closed = false;
};

UploadOwner::UploadOwner(OnByte onByte) : m_impl(std::make_unique<Impl>(std::move(onByte))) {}

UploadOwner::~UploadOwner() = default;

OwnerHandle UploadOwner::Handle() const {
    return reinterpret_cast<OwnerHandle>(m_impl->hwnd);
}

void UploadOwner::Pump(std::chrono::milliseconds wait) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait.count()), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void UploadOwner::Close() {
    m_impl->closed = true;
}

void PrepareStandardOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
}
