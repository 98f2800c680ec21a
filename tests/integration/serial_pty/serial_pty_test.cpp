#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "pty_tool.h"
#include "upload_rig.h"

namespace {

using namespace std::chrono_literals;

const torque_sim::Bytes kRequest = {0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30};
const torque_sim::Bytes kAck = {0xEB, 0x00, 0x55, 0xF5, 0x00, 0x00, 0x35};

torque_sim::Config ToolWith(int records) {
    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(records);
    return config;
}

// CPU time of the whole process.
std::chrono::microseconds ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto total = [](const timeval& t) {
        return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
    };
    return total(usage.ru_utime) + total(usage.ru_stime);
}

class SerialPtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        PosixPlatform().SetBoxFunction(
            [this](const std::string& text, const std::string& caption, std::uint32_t) {
                std::lock_guard lock(m_boxMutex);
                m_boxes.push_back(caption + "|" + text);
                return 1;
            });
    }
    void TearDown() override {
        PosixPlatform().SetBoxFunction({});
        unsetenv("KELVARIN_COM1");
    }
    void UsePort1(const PtyTool& tool) {
        ASSERT_TRUE(tool.Ready());
        setenv("KELVARIN_COM1", tool.Path().c_str(), 1);
    }
    std::vector<std::string> Boxes() {
        std::lock_guard lock(m_boxMutex);
        return m_boxes;
    }

private:
    std::mutex m_boxMutex;
    std::vector<std::string> m_boxes;
};

TEST_F(SerialPtyTest, FullUploadOf255RecordsAcknowledgesEveryFrameOnTheWire) {
    PtyTool tool(ToolWith(255));
    UsePort1(tool);
    UploadRig rig;
    ASSERT_TRUE(rig.Open(1));
    ASSERT_TRUE(rig.Upload(30s));
    rig.port.Close();

    EXPECT_EQ(rig.state.list.GetItemCount(), 255);
    // The last acknowledgement may still be on its way to the tool.
    ASSERT_TRUE(rig.PumpUntil([&] { return tool.FromHost().size() >= 1u + 255u + 3u; }, 5s));
    const auto fromHost = tool.FromHost();
    ASSERT_EQ(fromHost.size(), 1u + 255u + 3u);
    EXPECT_EQ(fromHost[0], kRequest);
    for (std::size_t i = 1; i < fromHost.size(); ++i) EXPECT_EQ(fromHost[i], kAck) << i;
    EXPECT_EQ(tool.Stop().uploadsCompleted, 1);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SerialPtyTest, NoisyLineStillGivesEveryRecordOnceThroughRetransmission) {
    torque_sim::Config config = ToolWith(40);
    config.retransmitAfter = 40ms;
    config.faults.rate = 0.3;
    config.faults.seed = 7;
    PtyTool tool(config);
    UsePort1(tool);
    UploadRig rig;
    ASSERT_TRUE(rig.Open(1));
    ASSERT_TRUE(rig.Upload(30s));
    rig.port.Close();

    ASSERT_EQ(rig.state.list.GetItemCount(), 40);
    for (int row = 0; row < 40; ++row)
        EXPECT_EQ(rig.state.list.GetItemText(row, 0), std::to_string(row + 1));
    const torque_sim::Stats stats = tool.Stop();
    EXPECT_GT(stats.faultsInjected, 0);
    EXPECT_GT(stats.retransmissions, 0);
    EXPECT_EQ(stats.uploadsCompleted, 1);
}

TEST_F(SerialPtyTest, PeerHangingUpMidUploadGivesOneReadBoxNoSpinAndCloseWorks) {
    torque_sim::Config config = ToolWith(20);
    config.faults.at[6] = torque_sim::Fault::HangUp;
    PtyTool tool(config);
    UsePort1(tool);
    UploadRig rig;
    ASSERT_TRUE(rig.Open(1));
    rig.state.BeginUpload();
    ASSERT_TRUE(rig.PumpUntil([&] { return !Boxes().empty(); }, 10s));

    // The worker must now sleep: half a second costs no CPU to speak of.
    const auto before = ProcessCpu();
    rig.PumpUntil([] { return false; }, 500ms);
    EXPECT_LE(ProcessCpu() - before, 50ms) << "the worker is spinning";

    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Application Error|WARNING:  ReadFile() Failed"), std::string::npos)
        << boxes[0];
    EXPECT_NE(boxes[0].find("\nPort: 1\n"), std::string::npos);
    EXPECT_EQ(rig.state.list.GetItemCount(), 4) << "records before the hang-up";
    EXPECT_FALSE(rig.state.exportEnabled);

    rig.port.Close();
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_FALSE(rig.port.IsMonitoring());
}

TEST_F(SerialPtyTest, PortInUseOrNoSerialLineDoesNotOpenQuietly) {
    PtyTool tool(ToolWith(3));
    UsePort1(tool);
    UploadRig first, second;
    ASSERT_TRUE(first.Open(1));
    EXPECT_FALSE(second.port.Open(second.owner.Handle(), 1));
    EXPECT_EQ(PosixPlatform().GetLastError(), static_cast<std::uint32_t>(EBUSY));

    const std::pair<const char*, int> notLines[] = {{"/dev/null", ENOTTY},
                                                    {"/nonexistent/tty", ENOENT}};
    for (const auto& [path, error] : notLines) {
        setenv("KELVARIN_COM2", path, 1);
        EXPECT_FALSE(second.port.Open(second.owner.Handle(), 2)) << path;
        EXPECT_EQ(PosixPlatform().GetLastError(), static_cast<std::uint32_t>(error)) << path;
    }
    unsetenv("KELVARIN_COM2");
    EXPECT_TRUE(Boxes().empty()) << "the owner reports a failed open, not the port";

    first.port.Close();
    ASSERT_TRUE(second.Open(1));
    ASSERT_TRUE(second.Upload(10s));
    EXPECT_EQ(second.state.list.GetItemCount(), 3);
}

TEST_F(SerialPtyTest, OpenLeavesTheLineRaw9600EightNoneOneWithoutFlowControl) {
    PtyTool tool(ToolWith(1));
    UsePort1(tool);
    // Another view of the same line, set up the way a previous program might
    // have left it: cooked, 1200 7E2, both kinds of flow control.
    const int view = open(tool.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(view, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(view, &tio), 0);
    tio.c_lflag |= ICANON | ECHO;
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    tio.c_iflag |= IXON | IXOFF;
    cfsetspeed(&tio, B1200);
    ASSERT_EQ(tcsetattr(view, TCSANOW, &tio), 0);

    UploadRig rig;
    ASSERT_TRUE(rig.port.Open(rig.owner.Handle(), 1));
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(tcgetattr(view, &tio), 0);
    close(view);
    EXPECT_EQ(cfgetispeed(&tio), B9600);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

}  // namespace
