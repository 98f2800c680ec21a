// kelvarin-upload for Windows: uploads the torque tool's stored measurements
// over COM port N and prints them, for scripts and production lines.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "interrupt.h"
#include "port_list_win32.h"
#include "protocol/upload_state.h"
#include "serial/comm_win32.h"
#include "serial/serial_port.h"
#include "upload_options.h"
#include "upload_report.h"
#include "upload_start.h"
#include "wire_trace.h"

namespace {

constexpr const char* kPortHelp = "serial port COM1 to COM12";

// A console program has nobody to click a box away: the serial port's
// reports go to standard error instead.
class ConsolePlatform : public Win32CommPlatform {
public:
    int MessageBoxW(const std::string& text, const std::string& caption, std::uint32_t) override {
        Report(caption, text);
        return IDOK;
    }
    int AfxMessageBox(const std::string& text, std::uint32_t) override {
        Report("kelvarin-upload", text);
        return IDOK;
    }

    std::atomic<bool> lineFailed{false};
    std::atomic<bool> uploadDone{false};

private:
    void Report(const std::string& caption, const std::string& text) {
        // Once the end frame is in, the tool may drop the line at once.
        if (uploadDone) return;
        std::fprintf(stderr, "kelvarin-upload: %s: %s%s", caption.c_str(), text.c_str(),
                     text.empty() || text.back() != '\n' ? "\n" : "");
        if (EndsTheLine(text)) lineFailed = true;
    }
};

// The serial worker's messages arrive at a message-only window.
class OwnerWindow {
public:
    explicit OwnerWindow(UploadState& state, ConsolePlatform& platform)
        : m_state(state), m_platform(platform) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &OwnerWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KelvarinUploadOwner";
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, this);
    }
    ~OwnerWindow() {
        if (m_hwnd) DestroyWindow(m_hwnd);
    }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    HWND Handle() const { return m_hwnd; }

    // Handles this thread's messages, the worker's among them, for up to `ms`.
    static void Pump(DWORD ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<OwnerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_SERIAL_BYTE) {
            self->m_state.receiver.OnByte(static_cast<std::uint8_t>(wParam));
            if (self->m_state.exportEnabled) self->m_platform.uploadDone = true;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    UploadState& m_state;
    ConsolePlatform& m_platform;
    HWND m_hwnd = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    UploadOptions options;
    if (const int status = ParseUploadOptions(argc, argv, kPortHelp, options); status >= 0)
        return status;
    // The table's line ends are its own (CSV rows end in CR LF already).
    _setmode(_fileno(stdout), _O_BINARY);
    if (const int status = StartRun(options, ListComPorts); status >= 0) return status;

    std::optional<WireTrace> trace;
    if (options.trace)
        trace.emplace([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    ConsolePlatform platform;
    CSerialPort serial(platform);
    UploadState state([&](const std::uint8_t* bytes, std::uint32_t count) {
        if (trace) trace->Sent(bytes, count);
        serial.HandOver(bytes, count);
    });
    if (trace) state.receiver.observer = &*trace;
    OwnerWindow owner(state, platform);
    if (!owner.Handle()) {
        std::fputs("kelvarin-upload: cannot create the window that receives the bytes\n", stderr);
        return 1;
    }

    const int number = options.port;
    if (!serial.Open(reinterpret_cast<OwnerHandle>(owner.Handle()), number) ||
        !serial.StartMonitor()) {
        const std::string reason = platform.FormatMessageW(platform.GetLastError());
        std::fprintf(stderr, "kelvarin-upload: cannot open port %d (\\\\.\\COM%d): %s%s", number,
                     number, reason.c_str(), reason.empty() || reason.back() != '\n' ? "\n" : "");
        return 1;
    }

    state.BeginUpload();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(options.timeoutSeconds);
    while (!state.exportEnabled && !platform.lineFailed && !Interrupted() &&
           Clock::now() < deadline)
        OwnerWindow::Pump(100);
    // The end frame's acknowledgement is still on its way to the worker; the
    // tool counts the upload as done only once it has it.
    const auto grace = Clock::now() + std::chrono::seconds(1);
    while (state.exportEnabled && serial.SendPending() && Clock::now() < grace)
        OwnerWindow::Pump(1);
    serial.Close();
    if (trace) trace->Unfinished(state.receiver.rxBuffer, state.receiver.rxCount);

    return ReportUpload(state, options, platform.lineFailed, Interrupted());
}
