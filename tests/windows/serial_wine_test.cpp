// The serial port on the real Win32 calls, under Wine: COM1 leads to the
// simulated tool's pty (run_with_sim.sh), other ports lead nowhere.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/upload_state.h"
#include "serial/comm_win32.h"
#include "serial/serial_port.h"
#include "win32_owner.h"

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

std::string Joined(const std::vector<std::string>& texts) {
    std::string all;
    for (const auto& t : texts) all += "[" + t + "] ";
    return all;
}

int SimRecords() {
    const char* records = std::getenv("KELVARIN_SIM_RECORDS");
    return records ? std::atoi(records) : 0;
}

// One owner window with its port and the upload state it feeds.
struct Rig {
    RecordingBoxes platform;
    CSerialPort port{platform};
    UploadState state{
        [this](const std::uint8_t* bytes, std::uint32_t count) { port.HandOver(bytes, count); }};
    int bytes = 0;
    int cts = 0;
    int others = 0;
    int wrongPort = 0;
    Win32Owner owner{[this](UINT message, WPARAM wParam, LPARAM lParam) {
        if (lParam != port.PortNumber()) ++wrongPort;
        if (message == WM_SERIAL_BYTE) {
            ++bytes;
            state.receiver.OnByte(static_cast<std::uint8_t>(wParam));
        } else if (message == WM_SERIAL_CTS) {
            ++cts;
        } else {
            ++others;
        }
    }};

    OwnerHandle Owner() const { return reinterpret_cast<OwnerHandle>(owner.Handle()); }

    // One upload on an open, monitored port; the last acknowledgement is
    // let out before returning.
    bool Upload() {
        state.exportEnabled = false;
        state.BeginUpload();
        const bool done =
            owner.PumpUntil([&] { return state.exportEnabled; }, std::chrono::seconds(30));
        owner.PumpUntil([&] { return !port.SendPending(); }, std::chrono::seconds(2));
        return done;
    }
};

void ExpectRecordsListed(const UploadState& state, int records) {
    EXPECT_EQ(state.lengthText, std::to_string(records));
    EXPECT_EQ(state.rangeText, "20");
    ASSERT_EQ(state.list.GetItemCount(), records);
    for (int row = 0; row < records; ++row) {
        EXPECT_EQ(state.list.GetItemText(row, 0), std::to_string(row + 1)) << "row " << row;
        EXPECT_FALSE(state.list.GetItemText(row, 1).empty()) << "row " << row;
        const std::string pass = state.list.GetItemText(row, 3);
        EXPECT_TRUE(pass == "passed" || pass == "failed") << "row " << row << ": " << pass;
    }
}

}  // namespace

TEST(Win32SerialPort, PortsThatDoNotExistFailToOpenWithNoBox) {
    for (int number : {9, 12}) {
        Rig rig;
        EXPECT_FALSE(rig.port.Open(rig.Owner(), number)) << "COM" << number;
        EXPECT_EQ(rig.platform.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(rig.port.IsOpen());
        EXPECT_FALSE(rig.port.StartMonitor());
        rig.port.Close();
        EXPECT_TRUE(rig.platform.Boxes().empty()) << Joined(rig.platform.Boxes());
    }
}

TEST(Win32SerialPort, FullUploadFromTheToolWithTheRealWatchMask) {
    const int records = SimRecords();
    ASSERT_GT(records, 0) << "needs the simulated tool on COM1: run through run_with_sim.sh";
    Rig rig;
    ASSERT_TRUE(rig.port.Open(rig.Owner(), 1));
    // Every configuration step took: the line settings, RTS on, and mask 9.
    EXPECT_TRUE(rig.platform.Boxes().empty()) << Joined(rig.platform.Boxes());
    ASSERT_TRUE(rig.port.StartMonitor());

    EXPECT_TRUE(rig.Upload()) << rig.bytes << " bytes arrived";
    rig.port.Close();

    EXPECT_FALSE(rig.port.IsMonitoring());
    EXPECT_FALSE(rig.port.IsOpen());
    ExpectRecordsListed(rig.state, records);
    // Every byte of every frame, once: 7 bytes a frame around payloads of 2
    // (full range), 1 (data length), 10 per record and 0 (end).
    EXPECT_EQ(rig.bytes, (records + 3) * 7 + 2 + 1 + records * 10);
    // With EV_CTS in the mask every line wake-up also reports CTS; nothing else.
    EXPECT_GT(rig.cts, 0);
    EXPECT_EQ(rig.others, 0);
    EXPECT_EQ(rig.wrongPort, 0);
    EXPECT_TRUE(rig.platform.Boxes().empty()) << Joined(rig.platform.Boxes());
}

TEST(Win32SerialPort, ClosedPortOpensAgainForASecondUpload) {
    const int records = SimRecords();
    ASSERT_GT(records, 0) << "needs the simulated tool on COM1: run through run_with_sim.sh";
    Rig rig;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(rig.port.Open(rig.Owner(), 1)) << "round " << round;
        ASSERT_TRUE(rig.port.StartMonitor());
        EXPECT_TRUE(rig.Upload()) << "round " << round;
        rig.port.Close();
        ExpectRecordsListed(rig.state, records);
    }
    EXPECT_TRUE(rig.platform.Boxes().empty()) << Joined(rig.platform.Boxes());
}

TEST(Win32SerialPort, ClosingWhileTheToolIsStillSendingStopsCleanly) {
    ASSERT_GT(SimRecords(), 0) << "needs the simulated tool on COM1: run through run_with_sim.sh";
    Rig rig;
    ASSERT_TRUE(rig.port.Open(rig.Owner(), 1));
    ASSERT_TRUE(rig.port.StartMonitor());
    rig.state.BeginUpload();
    // Close as soon as the first record row is in, mid-stream.
    ASSERT_TRUE(rig.owner.PumpUntil([&] { return rig.state.list.GetItemCount() > 0; },
                                    std::chrono::seconds(30)));
    rig.port.Close();
    EXPECT_FALSE(rig.port.IsMonitoring());
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_FALSE(rig.state.exportEnabled);
    EXPECT_TRUE(rig.platform.Boxes().empty()) << Joined(rig.platform.Boxes());
}
