#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

// A message-only window that owns a serial port in the Windows tests: the
// worker's SendMessageW reaches `handler` on the thread that created it,
// while that thread pumps messages.
class Win32Owner {
public:
    using Handler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit Win32Owner(Handler handler);
    ~Win32Owner();
    Win32Owner(const Win32Owner&) = delete;
    Win32Owner& operator=(const Win32Owner&) = delete;

    HWND Handle() const { return m_hwnd; }
    // Handles this thread's messages until `done` holds or `limit` passes;
    // returns `done()`.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    void Destroy();

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    Handler m_handler;
    HWND m_hwnd = nullptr;
};
