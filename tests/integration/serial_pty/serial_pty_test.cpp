#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
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

// A clean line and a noisy one (resent frames): every record once, and on
// the clean line exactly one request and one acknowledgement per frame.
TEST_F(SerialPtyTest, UploadsGiveEveryRecordOnceAndAcknowledgeEveryFrame) {
    for (const double rate : {0.0, 0.3}) {
        SCOPED_TRACE(rate);
        torque_sim::Config config = ToolWith(rate > 0 ? 40 : 255);
        // Soon enough to keep the test short, late enough that a slow host's
        // acknowledgement is not overtaken by a resend (which lists twice).
        if (rate > 0) config.retransmitAfter = 250ms;
        config.faults.rate = rate;
        config.faults.seed = 7;
        const std::size_t records = config.records.size();
        PtyTool tool(config);
        UsePort1(tool);
        UploadRig rig;
        ASSERT_TRUE(rig.Open(1));
        ASSERT_TRUE(rig.Upload(30s));
        rig.port.Close();
        ASSERT_EQ(rig.state.list.GetItemCount(), static_cast<int>(records));
        for (std::size_t row = 0; row < records; ++row)
            EXPECT_EQ(rig.state.list.GetItemText(static_cast<int>(row), 0),
                      std::to_string(row + 1));
        // The last acknowledgement may still be on its way to the tool.
        ASSERT_TRUE(rig.PumpUntil([&] { return tool.FromHost().size() >= records + 4; }, 5s));
        const auto fromHost = tool.FromHost();
        EXPECT_EQ(fromHost[0], kRequest);
        for (std::size_t i = 1; i < fromHost.size(); ++i) EXPECT_EQ(fromHost[i], kAck) << i;
        const torque_sim::Stats stats = tool.Stop();
        EXPECT_EQ(stats.uploadsCompleted, 1);
        EXPECT_TRUE(rate > 0 ? stats.retransmissions > 0 : fromHost.size() == records + 4);
    }
    EXPECT_TRUE(Boxes().empty());
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
    const std::clock_t before = std::clock();
    rig.PumpUntil([] { return false; }, 500ms);
    EXPECT_LE(std::clock() - before, CLOCKS_PER_SEC / 20) << "the worker is spinning";

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

// Opening leaves a line that a previous program left cooked, 1200 7E2 with
// modem control and both kinds of flow control, raw 9600 8N1 without flow
// control; a port in use or no serial line does not open, quietly.
TEST_F(SerialPtyTest, OpenSetsTheLineRaw9600EightNoneOneAndRefusesAPortInUseOrNoLine) {
    PtyTool tool(ToolWith(3));
    UsePort1(tool);
    const int view = open(tool.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(view, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(view, &tio), 0);
    tio.c_lflag |= ICANON | ECHO;
    tio.c_cflag = (tio.c_cflag & ~(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    tio.c_iflag |= IXON | IXOFF;
    cfsetspeed(&tio, B1200);
    ASSERT_EQ(tcsetattr(view, TCSANOW, &tio), 0);

    UploadRig first, second;
    ASSERT_TRUE(first.Open(1));
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

// Settings texts as the backend builds them, applied and read back.
TEST_F(SerialPtyTest, BackendAppliesAndReadsBackEveryLineSetting) {
    PtyTool tool(ToolWith(1));
    UsePort1(tool);
    PosixCommPlatform& p = PosixPlatform();
    const CommHandle device = p.CreateFileW("\\\\.\\COM1");
    ASSERT_NE(device, kInvalidHandle);
    struct Case {
        const char* text;
        std::uint32_t baud;
        int size, parity, stop;
    };
    const Case cases[] = {{"baud=1200 parity=N data=5 stop=1", 1200, 5, kNoParity, kOneStopBit},
                          {"baud=2400 parity=o data=6 stop=2", 2400, 6, kOddParity, kTwoStopBits},
                          {"baud=4800 parity=E data=7", 4800, 7, kEvenParity, kTwoStopBits},
                          {"baud=9600 parity=n data=8 stop=1", 9600, 8, kNoParity, kOneStopBit},
                          {"baud=19200", 19200, 8, kNoParity, kOneStopBit},
                          {"baud=38400 parity=e", 38400, 8, kEvenParity, kOneStopBit},
                          {"baud=57600 parity=O stop=2", 57600, 8, kOddParity, kTwoStopBits},
                          {"baud=115200 parity=N stop=1", 115200, 8, kNoParity, kOneStopBit}};
    CommSettings settings;
    for (const Case& c : cases) {
        settings.fOutX = settings.fInX = settings.fOutxCtsFlow = 1;
        ASSERT_TRUE(p.BuildCommDCBW(c.text, settings)) << c.text;
        EXPECT_EQ(settings.fOutX + settings.fInX + settings.fOutxCtsFlow, 0u) << "flow control off";
        EXPECT_EQ((std::vector<int>{settings.ByteSize, settings.Parity,
                                    static_cast<int>(settings.fParity)}),
                  (std::vector<int>{c.size, c.parity, c.parity != kNoParity}))
            << c.text;
        // A pseudo-terminal keeps 8 bits without parity: speed and stop bits show.
        ASSERT_TRUE(p.SetCommState(device, settings)) << c.text;
        CommSettings back;
        std::memset(static_cast<void*>(&back), 0xFF,
                    sizeof back);  // every field read must be written
        ASSERT_TRUE(p.GetCommState(device, back));
        EXPECT_EQ(
            (std::vector<int>{static_cast<int>(back.BaudRate), back.StopBits, back.ByteSize,
                              back.Parity, static_cast<int>(back.fParity), back.XonChar,
                              back.XoffChar, static_cast<int>(back.fBinary),
                              static_cast<int>(back.fOutX + back.fInX + back.fOutxCtsFlow)}),
            (std::vector<int>{static_cast<int>(c.baud), c.stop, 8, kNoParity, 0, 0x11, 0x13, 1, 0}))
            << c.text;
    }
    settings.fOutX = settings.fInX = settings.fOutxCtsFlow = 1;
    ASSERT_TRUE(p.SetCommState(device, settings));
    CommSettings back;
    ASSERT_TRUE(p.GetCommState(device, back));
    EXPECT_EQ(back.fOutX + back.fInX + back.fOutxCtsFlow, 3u);
    for (const char* bad : {"baud=1234", "baud=96x0", "parity=X", "parity=NO", "data=4", "data=9",
                            "stop=3", "speed=9600", "baud"}) {
        EXPECT_FALSE(p.BuildCommDCBW(bad, settings)) << bad;
        EXPECT_EQ(p.GetLastError(), static_cast<std::uint32_t>(EINVAL)) << bad;
    }
    EXPECT_TRUE(p.CloseHandle(device));
}

// The backend on its own: bytes queued, a line that hangs up (reported by
// one failing read, never signalled again) and handles of the wrong kind.
TEST_F(SerialPtyTest, BackendCountsQueuedBytesAndTellsALostLineOnce) {
    std::string path, error;
    int keep = -1;
    const int master = torque_sim::OpenPseudoTerminal(path, keep, error);
    ASSERT_GE(master, 0) << error;
    setenv("KELVARIN_COM1", path.c_str(), 1);
    PosixCommPlatform& p = PosixPlatform();
    const CommHandle device = p.CreateFileW("\\\\.\\COM1");
    ASSERT_NE(device, kInvalidHandle);
    Overlapped ov;
    ov.hEvent = p.CreateEventW();
    std::uint32_t errors = 0, events = 0, done = 0;
    CommStatus status;
    auto queued = [&] { return p.ClearCommError(device, &errors, &status) ? status.cbInQue : 99u; };
    // One byte already waiting completes the line wait at once.
    for (const char* text : {"a", "bcde"}) {
        const std::uint32_t before = queued();
        ASSERT_GT(write(master, text, std::strlen(text)), 0);
        for (auto end = std::chrono::steady_clock::now() + 5s;
             queued() < before + std::strlen(text) && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(1ms);
        EXPECT_EQ(queued(), before + std::strlen(text));
        EXPECT_TRUE(p.WaitCommEvent(device, &events, &ov));
        EXPECT_EQ(events, kEvRxChar);
    }
    std::uint8_t bytes[8];
    EXPECT_TRUE(p.ReadFile(device, bytes, 8, &done, &ov));
    EXPECT_EQ(done, 5u);
    EXPECT_EQ(queued(), 0u);

    close(master);
    close(keep);
    EXPECT_FALSE(p.WaitCommEvent(device, &events, &ov));
    EXPECT_EQ(p.WaitForSingleObject(ov.hEvent, 5000), kWaitObject0) << "the hang-up wakes it";
    EXPECT_EQ(queued(), 1u) << "one read to tell the user";
    EXPECT_FALSE(p.WriteFile(device, bytes, 1, &done, &ov));
    EXPECT_EQ(p.GetLastError(), static_cast<std::uint32_t>(EIO));
    EXPECT_FALSE(p.ReadFile(device, bytes, 1, &done, &ov));
    EXPECT_EQ(p.GetLastError(), static_cast<std::uint32_t>(EIO));
    EXPECT_NE(queued(), 1u) << "and only one";
    EXPECT_FALSE(p.WaitCommEvent(device, &events, &ov));
    EXPECT_EQ(p.GetLastError(), kErrorIoPending);
    EXPECT_EQ(p.WaitForSingleObject(ov.hEvent, 100), kWaitTimeout) << "never signalled again";
    EXPECT_TRUE(p.PurgeComm(device, kPurgeAll));

    const CommHandle lock = p.InitializeCriticalSection();
    CommSettings settings;
    for (CommHandle bad : {kNullHandle, kInvalidHandle, ov.hEvent}) {
        const std::function<BOOL()> calls[] = {
            [&] { return p.SetCommTimeouts(bad, {}); },
            [&] { return p.SetCommMask(bad, 1); },
            [&] { return p.GetCommMask(bad, &events); },
            [&] { return p.GetCommState(bad, settings); },
            [&] { return p.SetCommState(bad, settings); },
            [&] { return p.PurgeComm(bad, kPurgeAll); },
            [&] { return p.WaitCommEvent(bad, &events, &ov); },
            [&] { return p.ClearCommError(bad, &errors, &status); },
            [&] { return p.ReadFile(bad, bytes, 1, &done, &ov); },
            [&] { return p.WriteFile(bad, bytes, 1, &done, &ov); },
            [&] { return p.GetOverlappedResult(bad, &ov, &done, 1); },
            [&] { return p.CloseHandle(bad == ov.hEvent ? kNullHandle : bad); },
            [&] { return p.SetEvent(bad == ov.hEvent ? lock : bad); },
            [&] { return p.ResetEvent(bad == ov.hEvent ? device : bad); },
            [&] { return BOOL{p.WaitForSingleObject(bad == ov.hEvent ? lock : bad, 0) == 0}; }};
        for (std::size_t i = 0; i < std::size(calls); ++i) {
            p.CreateFileW("COM1");  // leaves another error behind
            EXPECT_FALSE(calls[i]()) << "call " << i;
            EXPECT_EQ(p.GetLastError(), static_cast<std::uint32_t>(EBADF)) << "call " << i;
        }
    }
    p.DeleteCriticalSection(lock);
    EXPECT_TRUE(p.CloseHandle(ov.hEvent));
    EXPECT_TRUE(p.CloseHandle(device));
}

// Many opens, uploads and closes in a row, some closing in mid-upload:
// under ThreadSanitizer this is the race and deadlock check of the port.
using SerialCycles = SerialPtyTest;
TEST_F(SerialCycles, ThousandOpenUploadCloseCyclesWithTraffic) {
    torque_sim::Config config = ToolWith(2);
    config.retransmitAfter = 0ms;
    PtyTool tool(config);
    UsePort1(tool);

    UploadRig rig;
    int completed = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_TRUE(rig.Open(1)) << "cycle " << cycle;
        const std::size_t heard = tool.FromHost().size();
        if (cycle % 4 == 3) {
            // Close while the tool is still talking.
            rig.state.BeginUpload();
            const int before = rig.bytes;
            rig.PumpUntil([&] { return rig.bytes > before; }, 5s);
        } else {
            ASSERT_TRUE(rig.Upload(10s)) << "cycle " << cycle;
            ASSERT_EQ(rig.state.list.GetItemCount(), 2);
            // The next open purges both directions, also an acknowledgement
            // the tool has not read yet: let it arrive first (request and
            // five acknowledgements).
            ASSERT_TRUE(rig.PumpUntil([&] { return tool.FromHost().size() >= heard + 6; }, 5s));
            ++completed;
        }
        rig.port.Close();
        ASSERT_FALSE(rig.port.IsMonitoring());
    }
    // A cycle closed in mid-upload may still have finished on the wire.
    EXPECT_GE(tool.Stop().uploadsCompleted, completed);
}

}  // namespace
