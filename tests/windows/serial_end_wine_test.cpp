// Under Wine: a port destroyed while its worker is blocked delivering a byte
// to a window that is gone, the line wait's state per device, and the
// automation runtime's set-up per thread.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "export/com/com_client.h"
#include "protocol/upload_state.h"
#include "serial/comm_win32.h"
#include "serial/serial_port.h"

// Last: the automation names above are macros in the Windows headers.
#include <ole2.h>
#include <windows.h>

namespace {

struct NoBoxes : Win32CommPlatform {
    int MessageBoxW(const std::string&, const std::string&, std::uint32_t) override { return IDOK; }
    int AfxMessageBox(const std::string&, std::uint32_t) override { return IDOK; }
};

UploadState* g_state = nullptr;
int g_bytes = 0;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SERIAL_BYTE) return DefWindowProcW(hwnd, message, wParam, lParam);
    ++g_bytes;
    g_state->receiver.OnByte(static_cast<std::uint8_t>(wParam));
    return 0;
}

TEST(Win32SerialPortEnd, DestroyedWhileBlockedDeliveringAByteItStillReleasesThePort) {
    // A hang here is the fault; end it with a clear failure.
    std::thread([] {
        Sleep(60000);
        std::fprintf(stderr, "the port's destructor did not return\n");
        ExitProcess(3);
    }).detach();

    NoBoxes platform;
    auto port = std::make_unique<CSerialPort>(platform);
    UploadState state{
        [&](const std::uint8_t* bytes, std::uint32_t count) { port->HandOver(bytes, count); }};
    g_state = &state;
    WNDCLASSW wc{};
    wc.lpfnWndProc = &OwnerProc;
    wc.lpszClassName = L"KelvarinEndTestOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(port->Open(reinterpret_cast<OwnerHandle>(owner), 1) && port->StartMonitor());
    state.BeginUpload();
    // Mid-stream: the tool goes on sending what was acknowledged.
    for (DWORD start = GetTickCount(); g_bytes < 40 && GetTickCount() - start < 30000;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
    }
    ASSERT_GE(g_bytes, 40);
    // Nobody takes the next byte: the worker blocks handing it over, and
    // then the window goes, as when Escape ends the dialog.
    Sleep(300);
    DestroyWindow(owner);
    port.reset();

    CSerialPort again(platform);
    EXPECT_TRUE(again.Open(0, 1)) << "the port was released";
    again.Close();
    g_state = nullptr;
}

// COM1 with a line wait under way.
class Win32LineWait : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(device, kInvalidHandle);
        ASSERT_TRUE(platform.SetCommMask(device, kEvRxChar));
        platform.PurgeComm(device, kPurgeAll);  // what an earlier test left unread
        ASSERT_FALSE(platform.WaitCommEvent(device, &events, &line));
        ASSERT_EQ(platform.GetLastError(), kErrorIoPending);
    }
    void TearDown() override {
        for (CommHandle handle : {device, line.hEvent}) platform.CloseHandle(handle);
    }
    NoBoxes platform;
    const CommHandle device = platform.CreateFileW("\\\\.\\COM1");
    Overlapped line{.hEvent = platform.CreateEventW()};
    std::uint32_t events = 0;
};

// A wait under way on one port is not started again because another port
// was opened (or failed to open) meanwhile: starting it again would reset
// its event, which is set here by hand to tell.
TEST_F(Win32LineWait, AnotherPortsOpenLeavesThisPortsWaitAlone) {
    platform.SetEvent(line.hEvent);
    EXPECT_EQ(platform.CreateFileW("\\\\.\\COM9"), kInvalidHandle);
    EXPECT_FALSE(platform.WaitCommEvent(device, &events, &line));
    EXPECT_EQ(platform.GetLastError(), kErrorIoPending);
    EXPECT_EQ(platform.WaitForSingleObject(line.hEvent, 0), kWaitObject0) << "not started again";
}

// The worker's next pass after a wake-up for a send, when its line wait
// ended meanwhile: the ended wait must be reported with its event still
// set, not replaced by a new one that waits for the next byte.
TEST_F(Win32LineWait, AWaitThatEndedUnseenIsReportedNotStartedAgain) {
    // The tool answers the request with one frame, then waits for its
    // acknowledgement: no byte comes after these.
    Overlapped transfer{.hEvent = platform.CreateEventW()};
    UploadState state{[&](const std::uint8_t* bytes, std::uint32_t count) {
        std::uint32_t done = 0;
        if (!platform.WriteFile(device, bytes, count, &done, &transfer))
            platform.GetOverlappedResult(device, &transfer, &done, 1);
    }};
    state.BeginUpload();
    ASSERT_EQ(platform.WaitForSingleObject(line.hEvent, 10000), kWaitObject0);

    EXPECT_TRUE(platform.WaitCommEvent(device, &events, &line));
    EXPECT_EQ(platform.WaitForSingleObject(line.hEvent, 500), kWaitObject0)
        << "the bytes that came are announced";
    CommStatus status;
    std::uint32_t errors = 0;
    platform.ClearCommError(device, &errors, &status);
    EXPECT_GT(status.cbInQue, 0u);
    platform.CloseHandle(transfer.hEvent);
}

// Whether this thread's apartment is gone: a multithreaded one can be set
// up only then.
bool ApartmentGone() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == S_OK;
}

TEST(AutomationRuntime, SetUpOncePerThreadHoweverOftenUsed) {
    bool goneAfterOneRelease = false;
    std::thread([&] {
        InitAutomationRuntime();
        ComClient client;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(client.Create("Kelvarin.NoSuchServer"), automation::kNoObject);
        OleUninitialize();
        goneAfterOneRelease = ApartmentGone();
    }).join();
    EXPECT_TRUE(goneAfterOneRelease);
}

}  // namespace
