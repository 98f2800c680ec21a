// The serial port on the real Win32 calls, under Wine: COM1 leads to the
// simulated tool's pty (run_with_sim.sh), COM12 leads nowhere.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "protocol/upload_state.h"
#include "serial/comm_win32.h"
#include "serial/serial_port.h"
#include "wine_harness.h"

namespace {

// The real platform, with its boxes counted instead of shown: none is due.
struct CountedBoxes : Win32CommPlatform {
    std::atomic<int> boxes = 0;
    int MessageBoxW(const std::string&, const std::string&, std::uint32_t) override {
        return AfxMessageBox("", 0);
    }
    int AfxMessageBox(const std::string&, std::uint32_t) override {
        ++boxes;
        return IDOK;
    }
};

// Reaches the device handle, to read the settings back from the system.
struct Port : CSerialPort {
    using CSerialPort::CSerialPort;
    HANDLE Device() const { return reinterpret_cast<HANDLE>(m_portHandle); }
};

// A port owned by a message-only window of this thread, feeding an upload.
struct Rig {
    CountedBoxes platform;
    Port port{platform};
    UploadState state{
        [this](const std::uint8_t* bytes, std::uint32_t count) { port.HandOver(bytes, count); }};
    int bytes = 0;
    HWND owner;

    Rig() {
        owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr);
        SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc));
    }
    ~Rig() { DestroyWindow(owner); }
    bool Open() {
        return port.Open(reinterpret_cast<OwnerHandle>(owner), 1) && port.StartMonitor();
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* rig = reinterpret_cast<Rig*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!rig || message != WM_SERIAL_BYTE) return DefWindowProcW(hwnd, message, wParam, lParam);
        ++rig->bytes;
        rig->state.receiver.OnByte(static_cast<std::uint8_t>(wParam));
        return 0;
    }
};

}  // namespace

// Ended mid-stream twice: closed while the tool is still sending, then
// destroyed while its worker is blocked handing over a byte.
TEST(Win32SerialPortEnd, ClosedOrDestroyedMidStreamItStopsCleanlyAndReleasesThePort) {
    auto rig = std::make_unique<Rig>();
    ASSERT_TRUE(rig->Open());
    rig->state.BeginUpload();
    ASSERT_TRUE(WaitFor([&] { return rig->state.list.GetItemCount() > 0; }, 30));
    rig->port.Close();
    EXPECT_FALSE(rig->port.IsMonitoring() || rig->port.IsOpen() || rig->state.exportEnabled);
    EXPECT_EQ(rig->platform.boxes, 0);

    // A new request starts the tool over.
    ASSERT_TRUE(rig->Open());
    rig->bytes = 0;
    rig->state.BeginUpload();
    // Mid-stream: the tool goes on sending what was acknowledged.
    ASSERT_TRUE(WaitFor([&] { return rig->bytes >= 40; }, 30)) << rig->bytes;
    // Nobody takes the next byte: the worker blocks handing it over, and
    // then the window goes before the port, as when Escape ends the dialog.
    Sleep(300);
    rig.reset();

    CountedBoxes platform;
    EXPECT_TRUE(CSerialPort(platform).Open(0, 1)) << "the port was released";
}

// COM1 as the port opens it: what the system holds (the five time-outs,
// the watch mask, 9600 8N1), then a line wait under way on it. That wait is
// not started again because another port failed to open meanwhile:
// starting it again would reset its event, which is set here by hand to
// tell. A port that does not exist fails to open with no box.
TEST(Win32LineWait, AnotherPortsOpenLeavesThisPortsWaitAlone) {
    CountedBoxes platform;
    Port port(platform);
    ASSERT_TRUE(port.Open(0, 1));
    COMMTIMEOUTS t{};
    DWORD mask = 0;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommTimeouts(port.Device(), &t) && GetCommMask(port.Device(), &mask) &&
                GetCommState(port.Device(), &dcb));
    EXPECT_EQ((std::vector<DWORD>{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                  t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                  t.WriteTotalTimeoutConstant, mask, dcb.BaudRate, dcb.ByteSize,
                                  dcb.Parity, dcb.StopBits, dcb.fRtsControl, dcb.fOutxCtsFlow,
                                  dcb.fOutX, dcb.fInX}),
              (std::vector<DWORD>{1000000, 1000000, 1000000, 1000000, 1000000, EV_RXCHAR | EV_CTS,
                                  9600, 8, NOPARITY, ONESTOPBIT, RTS_CONTROL_ENABLE, 0, 0, 0}));

    const CommHandle device = reinterpret_cast<CommHandle>(port.Device());
    Overlapped line{.hEvent = platform.CreateEventW()};
    std::uint32_t events = 0;
    ASSERT_FALSE(platform.WaitCommEvent(device, &events, &line));
    ASSERT_EQ(platform.GetLastError(), kErrorIoPending);
    platform.SetEvent(line.hEvent);
    EXPECT_FALSE(CSerialPort(platform).Open(0, 12));
    EXPECT_EQ(platform.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(platform.WaitCommEvent(device, &events, &line));
    EXPECT_EQ(platform.GetLastError(), kErrorIoPending);
    EXPECT_EQ(platform.WaitForSingleObject(line.hEvent, 0), kWaitObject0) << "not started again";
    EXPECT_EQ(platform.boxes, 0);
    // A new mask ends the wait; the system writes its result into `events`
    // and `line` and then sets the event, all before they go out of scope.
    platform.ResetEvent(line.hEvent);
    platform.SetCommMask(device, 0);
    EXPECT_EQ(platform.WaitForSingleObject(line.hEvent, 5000), kWaitObject0);
    platform.CloseHandle(line.hEvent);
}
