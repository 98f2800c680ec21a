// The serial port on the real Win32 calls, under Wine: COM1 leads to the
// simulated tool's pty (run_with_sim.sh), other ports lead nowhere.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/upload_state.h"
#include "serial/comm_win32.h"
#include "serial/serial_port.h"

namespace {

// The real platform, with its boxes recorded instead of shown.
class RecordingBoxes : public Win32CommPlatform {
public:
    int MessageBoxW(const std::string& text, const std::string& caption, std::uint32_t) override {
        return Record(caption + ": " + text);
    }
    int AfxMessageBox(const std::string& text, std::uint32_t) override { return Record(text); }
    std::vector<std::string> Boxes() {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }

private:
    int Record(const std::string& box) {
        std::lock_guard lock(m_mutex);
        m_boxes.push_back(box);
        return IDOK;
    }
    std::mutex m_mutex;
    std::vector<std::string> m_boxes;
};

const std::vector<std::string> kNoBoxes;

// Reaches the device handle, to read the settings back from the system.
struct Port : CSerialPort {
    using CSerialPort::CSerialPort;
    HANDLE Device() const { return reinterpret_cast<HANDLE>(m_portHandle); }
};

// A port owned by a message-only window of this thread, feeding an upload.
struct Rig {
    RecordingBoxes platform;
    Port port{platform};
    UploadState state{
        [this](const std::uint8_t* bytes, std::uint32_t count) { port.HandOver(bytes, count); }};
    int bytes = 0, cts = 0, others = 0, wrongPort = 0;
    HWND owner;

    Rig() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.lpszClassName = L"KelvarinTestOwner";
        RegisterClassW(&wc);  // fails harmlessly when already registered
        owner = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
        SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Rig() { DestroyWindow(owner); }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* rig = reinterpret_cast<Rig*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!rig || message < WM_USER) return DefWindowProcW(hwnd, message, wParam, lParam);
        if (lParam != rig->port.PortNumber()) ++rig->wrongPort;
        if (message == WM_SERIAL_BYTE) {
            ++rig->bytes;
            rig->state.receiver.OnByte(static_cast<std::uint8_t>(wParam));
        } else {
            ++(message == WM_SERIAL_CTS ? rig->cts : rig->others);
        }
        return 0;
    }

    // Handles this thread's messages until `done` holds or `limit` passes.
    template <class Done>
    bool PumpUntil(Done done, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (auto now = deadline - limit; !done() && now < deadline;
             now = std::chrono::steady_clock::now()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()),
                                      QS_ALLINPUT);
            for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
        }
        return done();
    }

    bool Open() {
        return port.Open(reinterpret_cast<OwnerHandle>(owner), 1) && port.StartMonitor();
    }
    // One upload on an open, monitored port; the last acknowledgement is
    // let out before returning.
    bool Upload() {
        state.exportEnabled = false;
        state.BeginUpload();
        const bool done = PumpUntil([&] { return state.exportEnabled; }, std::chrono::seconds(30));
        PumpUntil([&] { return !port.SendPending(); }, std::chrono::seconds(2));
        return done;
    }
};

int SimRecords() {
    const char* records = std::getenv("KELVARIN_SIM_RECORDS");
    return records ? std::atoi(records) : 0;
}

}  // namespace

TEST(Win32SerialPort, PortsThatDoNotExistFailToOpenWithNoBox) {
    for (int number : {9, 12}) {
        Rig rig;
        EXPECT_FALSE(rig.port.Open(reinterpret_cast<OwnerHandle>(rig.owner), number)) << number;
        EXPECT_EQ(rig.platform.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(rig.port.StartMonitor());
        rig.port.Close();
        EXPECT_EQ(rig.platform.Boxes(), kNoBoxes);
    }
}

// Two rounds: a closed port must open and wait on the line again.
TEST(Win32SerialPort, UploadsFromTheToolWithTheRealWatchMaskTwice) {
    const int records = SimRecords();
    ASSERT_GT(records, 0) << "needs the simulated tool on COM1: run through run_with_sim.sh";
    Rig rig;
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(rig.Open()) << "round " << round;
        // What the system holds: the five time-outs, the watch mask, 9600 8N1.
        COMMTIMEOUTS t{};
        DWORD mask = 0;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommTimeouts(rig.port.Device(), &t) &&
                    GetCommMask(rig.port.Device(), &mask) && GetCommState(rig.port.Device(), &dcb));
        EXPECT_EQ((std::vector<DWORD>{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                      t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                      t.WriteTotalTimeoutConstant}),
                  std::vector<DWORD>(5, 1000000));
        EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR | EV_CTS));
        EXPECT_EQ((std::vector<DWORD>{dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits,
                                      dcb.fRtsControl, dcb.fOutxCtsFlow, dcb.fOutX, dcb.fInX}),
                  (std::vector<DWORD>{9600, 8, NOPARITY, ONESTOPBIT, RTS_CONTROL_ENABLE, 0, 0, 0}));
        EXPECT_TRUE(rig.Upload()) << "round " << round << ": " << rig.bytes << " bytes arrived";
        rig.port.Close();
        EXPECT_FALSE(rig.port.IsMonitoring());
        EXPECT_FALSE(rig.port.IsOpen());
        EXPECT_EQ(rig.state.lengthText, std::to_string(records));
        EXPECT_EQ(rig.state.rangeText, "20");
        ASSERT_EQ(rig.state.list.GetItemCount(), records);
        for (int row = 0; row < records; ++row)
            EXPECT_EQ(rig.state.list.GetItemText(row, 0), std::to_string(row + 1));
        // Every byte of every frame, once: 7 bytes a frame around payloads of
        // 2 (full range), 1 (data length), 10 per record and 0 (end).
        EXPECT_EQ(rig.bytes, round * ((records + 3) * 7 + 2 + 1 + records * 10));
    }
    // With EV_CTS in the mask every line wake-up also reports CTS; nothing else.
    EXPECT_GT(rig.cts, 0);
    EXPECT_EQ(rig.others, 0);
    EXPECT_EQ(rig.wrongPort, 0);
    EXPECT_EQ(rig.platform.Boxes(), kNoBoxes);
}

TEST(Win32SerialPort, ClosingWhileTheToolIsStillSendingStopsCleanly) {
    ASSERT_GT(SimRecords(), 0) << "needs the simulated tool on COM1: run through run_with_sim.sh";
    Rig rig;
    ASSERT_TRUE(rig.Open());
    rig.state.BeginUpload();
    // Close as soon as the first record row is in, mid-stream.
    ASSERT_TRUE(
        rig.PumpUntil([&] { return rig.state.list.GetItemCount() > 0; }, std::chrono::seconds(30)));
    rig.port.Close();
    EXPECT_FALSE(rig.port.IsMonitoring());
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_FALSE(rig.state.exportEnabled);
    EXPECT_EQ(rig.platform.Boxes(), kNoBoxes);
}
