#include "serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "fake_comm_platform.h"
#include "protocol/upload_state.h"
#include "pty_tool.h"

namespace {

using namespace std::chrono_literals;
using Op = FakeCommPlatform::Op;
using Bytes = std::vector<std::uint8_t>;

using Message = std::tuple<UINT, WPARAM, LPARAM>;

// Reaches the stop event, which only Close and the destructor set.
struct TestPort : CSerialPort {
    using CSerialPort::CSerialPort;
    using CSerialPort::m_stopEvent;
};

// The box of a failed operation.
std::string Report(const std::string& operation,
                   const std::string& system = "The device does not answer.", int port = 3) {
    return "Application Error|WARNING:  " + operation + " Failed with the following error: \n" +
           system + "\nPort: " + std::to_string(port) + "\n|16";
}

// The port on the real backend with a window-less owner on the test's
// thread. Port 3 is a bare pseudo-terminal whose other end the test holds;
// port 1 is the simulated tool, for the tests that start one.
class SerialTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GE(master, 0); }
    void TearDown() override { port.Close(); }

    // Handles the worker's messages until `done`, for `limit` at most.
    bool Until(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (owner.WaitForSent(std::chrono::steady_clock::now() + 1ms)) owner.DispatchSent();
        }
        return true;
    }
    void OpenAndStart() {
        ASSERT_TRUE(port.Open(owner.Handle(), 3));
        const int waits = fake.Count(Op::WaitCommEvent);
        ASSERT_TRUE(port.StartMonitor());
        // Bytes that came before the worker's first purge would be dropped.
        ASSERT_TRUE(Until([&] { return fake.Count(Op::WaitCommEvent) > waits; }));
    }
    bool HandOver(const Bytes& bytes) {
        return port.HandOver(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    // What the tool would send on port 3.
    void Send(const Bytes& bytes) { ASSERT_GT(write(master, bytes.data(), bytes.size()), 0); }
    // Opens port 1 on the simulated tool.
    void UseTool(const PtyTool& tool) {
        setenv("KELVARIN_COM1", tool.Path().c_str(), 1);
        ASSERT_TRUE(port.Open(owner.Handle(), 1) && port.StartMonitor());
    }
    // Uploads and lets the end frame's acknowledgement out.
    bool Upload(std::chrono::milliseconds limit) {
        state.exportEnabled = false;
        state.BeginUpload();
        return Until([&] { return state.exportEnabled; }, limit) &&
               Until([&] { return !port.SendPending(); }, limit);
    }

    PtyPort pty{3};
    int &master = pty.master, &line = pty.line;
    FakeCommPlatform fake;
    std::vector<Message> seen;
    std::function<void()> onMessage;
    OwnerMailbox owner{[this](UINT m, WPARAM w, LPARAM l) -> LRESULT {
        seen.emplace_back(m, w, l);
        if (onMessage) onMessage();
        if (m == WM_SERIAL_BYTE) state.receiver.OnByte(static_cast<std::uint8_t>(w));
        return 0;
    }};
    TestPort port{fake};
    UploadState state{
        [this](const std::uint8_t* data, std::uint32_t count) { port.HandOver(data, count); }};
};

// A line a previous program left cooked, 1200 7E2 with both kinds of flow
// control, becomes raw 9600 8N1 without; the rest of what was read is kept.
// A port in use or no serial line does not open, and nobody is told.
TEST_F(SerialTest, OpenAppliesTheFixedTimeoutsAndLineSettingsAndKeepsTheRest) {
    termios tio{};
    ASSERT_EQ(tcgetattr(line, &tio), 0);
    tio.c_lflag |= ICANON | ECHO;
    tio.c_cflag = (tio.c_cflag & ~(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    tio.c_iflag |= IXON | IXOFF;
    cfsetspeed(&tio, B1200);
    ASSERT_EQ(tcsetattr(line, TCSANOW, &tio), 0);

    ASSERT_TRUE(port.Open(owner.Handle(), 3));
    const CommTimeouts fixed{1000000, 1000000, 1000000, 1000000, 1000000};
    EXPECT_EQ(std::memcmp(&fake.timeouts, &fixed, sizeof fixed), 0) << "every time-out 1000000";
    CommSettings expected;  // what the line had, changed only where the port must
    expected.BaudRate = 9600;
    expected.fBinary = 1;
    expected.fRtsControl = kRtsControlEnable;
    expected.ByteSize = 8;
    expected.XonChar = 0x11;
    expected.XoffChar = 0x13;
    expected.EvtChar = 'q';
    EXPECT_EQ(std::memcmp(&fake.stateWritten, &expected, sizeof expected), 0);

    TestPort second(fake);
    // COM13 has no device at all; its error must not be the one before.
    const std::tuple<int, const char*, int> notFree[] = {{2, pty.path.c_str(), EBUSY},
                                                         {13, "", ENOENT},
                                                         {2, "/dev/null", ENOTTY},
                                                         {2, "/no/tty", ENOENT}};
    for (const auto& [number, device, error] : notFree) {
        setenv("KELVARIN_COM2", device, 1);
        EXPECT_FALSE(second.Open(owner.Handle(), number)) << device;
        EXPECT_EQ(fake.GetLastError(), static_cast<std::uint32_t>(error)) << number << device;
    }
    EXPECT_TRUE(fake.Boxes().empty()) << "the owner reports a failed open, not the port";
}

// A port without its events, its device or its worker fails quietly and
// holds nothing; Close only tidies up and a later Open works.
TEST_F(SerialTest, MissingEventDeviceOrWorkerFailsQuietly) {
    for (Op op : {Op::CreateEvent, Op::CreateFile, Op::CreateThread}) {
        fake.Fail(op, 2);
        EXPECT_EQ(port.Open(owner.Handle(), 3), op == Op::CreateThread);
        EXPECT_FALSE(port.StartMonitor());
        EXPECT_FALSE(port.IsOpen());
        port.Close();
        EXPECT_FALSE(HandOver({1, 2})) << "the send buffer is gone";
    }
    EXPECT_TRUE(fake.Boxes().empty());
    OpenAndStart();
}

// The first failing step is reported alone, with the system's text whole
// or a stand-in for none, and the later steps are skipped.
TEST_F(SerialTest, FirstFailingConfigurationStepIsReportedAloneAndTheRestSkipped) {
    const std::string longText(1000, 'x');
    const std::tuple<Op, std::string, std::string> steps[] = {
        {Op::SetCommTimeouts, "SetCommTimeouts()", "broken"},
        {Op::SetCommMask, "SetCommMask()", ""},
        {Op::GetCommState, "GetCommState()", longText},
        {Op::BuildCommDCB, "BuildCommDCB()", "broken"},
        {Op::SetCommState, "SetCommState()", "broken"}};
    for (const auto& step : steps) {
        const auto& [op, name, system] = step;
        FakeCommPlatform local;
        TestPort p(local);
        local.systemText = system;
        local.Fail(op, 31);
        EXPECT_TRUE(p.Open(owner.Handle(), 3));
        EXPECT_EQ(local.Boxes(), std::vector<std::string>{
                                     Report(name, system.empty() ? "Unknown error 31" : system)});
        for (const auto* later = &step + 1; later != std::end(steps); ++later)
            EXPECT_EQ(local.Count(std::get<Op>(*later)), 0) << name;
        EXPECT_EQ(local.Count(Op::PurgeComm), 1);
    }
}

// --- receiving ---

// A line event with nothing waiting goes straight back to the line wait,
// yet one that never stops completing cannot starve a stop.
TEST_F(SerialTest, ImmediateLineEventsWithNothingWaitingWaitForTheLineAgain) {
    fake.lineWaitsAtOnce = 1 << 30;
    OpenAndStart();
    ASSERT_TRUE(Until([&] { return fake.Count(Op::WaitCommEvent) > 100; }));
    EXPECT_TRUE(seen.empty());
}

// A stop ends the worker before any further byte or write.
TEST_F(SerialTest, StopEndsTheWorkerBeforeAnotherByteOrAWrite) {
    ASSERT_TRUE(port.Open(owner.Handle(), 3));
    ASSERT_TRUE(HandOver({1, 2, 3}));
    fake.SetEvent(port.m_stopEvent);
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_TRUE(Until([&] { return !port.IsMonitoring(); }));
    EXPECT_EQ(fake.Count(Op::WriteFile), 0);

    OpenAndStart();
    onMessage = [&] { fake.SetEvent(port.m_stopEvent); };
    Send({1, 2, 3});
    ASSERT_TRUE(Until([&] { return !port.IsMonitoring(); }));
    EXPECT_EQ(seen, (std::vector<Message>{{WM_SERIAL_BYTE, 1, 3}, {WM_SERIAL_CTS, 0, 3}}));
}

// Every wake-up delivers each byte read, unsigned and with the port's
// number, then one CTS. A failed read shows its box and delivers nothing for
// that pass; a read that succeeds without a byte delivers nothing either.
TEST_F(SerialTest, EachWakeUpDeliversTheBytesReadThenOneCts) {
    OpenAndStart();
    fake.Fail(Op::ReadFile, 22);
    fake.emptyReads = 1;
    Send({0xEB, 8});
    ASSERT_TRUE(Until([&] { return seen.size() == 3; }));

    fake.transfersPending = true;
    fake.Fail(Op::GetOverlappedResult, 995);
    Send({9, 10});
    ASSERT_TRUE(Until([&] { return seen.size() == 5; }));
    EXPECT_EQ(seen, (std::vector<Message>{{WM_SERIAL_BYTE, 235, 3},
                                          {WM_SERIAL_BYTE, 8, 3},
                                          {WM_SERIAL_CTS, 0, 3},
                                          {WM_SERIAL_BYTE, 10, 3},  // 9 went with the failed read
                                          {WM_SERIAL_CTS, 0, 3}}));
    EXPECT_EQ(fake.Boxes(),
              (std::vector<std::string>{Report("ReadFile()"),
                                        Report("GetOverlappedResults() in ReadFile()")}));
}

// --- sending ---

// Hand-overs replace what the worker has not yet taken, whether it has not
// started or is busy writing; every write first discards both queues.
TEST_F(SerialTest, HandOversBeforeTheWorkerTakesThemGiveOneWriteOfTheLatest) {
    ASSERT_TRUE(port.Open(owner.Handle(), 3));
    ASSERT_TRUE(HandOver({0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30}));
    ASSERT_TRUE(HandOver({1}));
    bool first = true;
    fake.onWrite = [&] {
        if (!std::exchange(first, false)) return;
        HandOver({2, 2});
        HandOver({3, 3, 3});
    };
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_TRUE(Until([&] { return fake.Count(Op::WriteFile) >= 2; }));
    std::this_thread::sleep_for(20ms);
    auto calls = fake.Calls();
    std::erase_if(calls,
                  [](auto& c) { return c.first != Op::PurgeComm && c.first != Op::WriteFile; });
    const FakeCommPlatform::Call purge{Op::PurgeComm, kPurgeAll};
    EXPECT_EQ(calls, (std::vector<FakeCommPlatform::Call>{
                         purge, purge, purge, {Op::WriteFile, 1}, purge, {Op::WriteFile, 3}}))
        << "open, start, and before each write";
    EXPECT_FALSE(HandOver(Bytes(513))) << "more than the buffer holds";
}

// A write that fails, at once or when it finishes, and a line wait that
// fails every time are reported once (a bad parameter never), and a failed
// write is not tried again.
TEST_F(SerialTest, FailedWritesAndLineWaitsAreReportedOnceAndNotRepeated) {
    fake.systemText = "broken";
    fake.Fail(Op::WaitCommEvent, kErrorInvalidParameter);
    OpenAndStart();
    ASSERT_TRUE(Until([&] { return fake.Count(Op::WaitForMultipleObjects) >= 1; }));
    fake.Fail(Op::WaitCommEvent, 31, -1);
    fake.Fail(Op::WriteFile, 1167);
    for (int i = 1; i <= 3; ++i) {
        fake.transfersPending = i == 3;
        fake.Fail(Op::GetOverlappedResult, 1167);
        HandOver({1, 2, 3});
        ASSERT_TRUE(Until([&] { return fake.Count(Op::WriteFile) == i; }));
    }
    ASSERT_TRUE(Until([&] { return fake.Boxes().size() == 3; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(fake.Count(Op::WriteFile), 3);
    EXPECT_EQ(fake.Boxes(),
              (std::vector<std::string>{
                  Report("WriteFile()", "broken"), Report("WaitCommEvent()", "broken"),
                  Report("GetOverlappedResults() in WriteFile()", "broken")}));
    EXPECT_TRUE(port.IsWriteFailed());
}

// Three-way waits that keep failing show one box; when the stop cannot be
// waited on either, the worker ends, and the port is held until Close.
TEST_F(SerialTest, WaitsThatKeepFailingShowOneBoxThenTheWorkerEnds) {
    fake.Fail(Op::WaitForMultipleObjects, 6, -1);
    fake.Fail(Op::WaitForSingleObject, 6, -1);
    OpenAndStart();
    const bool ended = Until([&] { return !port.IsMonitoring(); });
    fake.Fail(Op::WaitForMultipleObjects, 0, 0);  // lets a spinning worker go
    fake.Fail(Op::WaitForSingleObject, 0, 0);
    EXPECT_TRUE(ended);
    EXPECT_EQ(fake.Boxes(), std::vector<std::string>{"|接收有问题!|0"});
    EXPECT_EQ(seen, (std::vector<Message>{{WM_SERIAL_ENDED, 0, 3}}));
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_EQ(fake.OpenHandles(), 3) << "the events only";
}

// --- stopping, closing and reopening ---

TEST_F(SerialTest, DestructorStopsAWorkerWhoseOwnerIsGone) {
    auto gone = std::make_unique<OwnerMailbox>([](UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    auto p = std::make_unique<CSerialPort>(fake);
    ASSERT_TRUE(p->Open(gone->Handle(), 3) && p->StartMonitor());
    gone.reset();
    Send({1, 2, 3});
    p.reset();
    EXPECT_EQ(fake.OpenHandles(), 0);
}

// --- with the simulated tool ---

// Every record once, one request and one acknowledgement per frame (their
// bytes are the protocol suite's).
TEST_F(SerialTest, UploadsGiveEveryRecordOnceAndAcknowledgeEveryFrame) {
    PtyTool tool({.records = torque_sim::DefaultRecords(255), .faults = {}});
    UseTool(tool);
    ASSERT_TRUE(Upload(30s));
    EXPECT_EQ(state.list.GetItemCount(), 255);
    // The last acknowledgement may still be on its way to the tool.
    ASSERT_TRUE(Until([&] { return tool.FromHost().size() >= 255 + 4; }));
    EXPECT_EQ(tool.FromHost().size(), 255u + 4);
    port.Close();  // before the tool hangs up
    EXPECT_EQ(tool.Stop().uploadsCompleted, 1);
    EXPECT_TRUE(fake.Boxes().empty());
}

TEST_F(SerialTest, PeerHangingUpMidUploadGivesOneReadBoxNoSpinAndCloseWorks) {
    PtyTool tool({.records = torque_sim::DefaultRecords(20),
                  .faults = {.at = {{6, torque_sim::Fault::HangUp}}}});
    UseTool(tool);
    state.BeginUpload();
    ASSERT_TRUE(Until([&] { return !fake.Boxes().empty(); }, 10s));

    // The worker must now sleep: half a second costs no CPU to speak of.
    const std::clock_t before = std::clock();
    Until([] { return false; }, 500ms);
    EXPECT_LE(std::clock() - before, CLOCKS_PER_SEC / 20) << "the worker is spinning";

    EXPECT_EQ(fake.Boxes(), std::vector<std::string>{Report("ReadFile()", fake.systemText, 1)});
    EXPECT_EQ(state.list.GetItemCount(), 4) << "records before the hang-up";
    EXPECT_FALSE(state.exportEnabled);
    EXPECT_TRUE(port.IsLineLost());
    port.Close();
}

// Many opens, uploads and closes in a row, some closing in mid-upload or
// right after the start, the later half where closing a thread's handle does
// not wait for the thread (as on Windows), so Close must wait for the worker
// itself. Under ThreadSanitizer this is the race and deadlock check.
using SerialCycles = SerialTest;
TEST_F(SerialCycles, ThousandOpenUploadCloseCyclesWithTraffic) {
    PtyTool tool({.records = torque_sim::DefaultRecords(2), .retransmitAfter = 0ms, .faults = {}});
    for (int cycle = 0; cycle < 1000; ++cycle) {
        fake.closeThreadsWithoutWaiting = cycle >= 500;
        UseTool(tool);
        const std::size_t heardByTool = tool.FromHost().size(), written = fake.Count(Op::WriteFile);
        if (cycle % 4 == 3) {
            // Close while the tool is still talking.
            state.BeginUpload();
            const std::size_t before = seen.size();
            Until([&] { return seen.size() > before; });
        } else if (cycle % 4 != 2) {
            ASSERT_TRUE(Upload(10s)) << "cycle " << cycle;
            ASSERT_EQ(state.list.GetItemCount(), 2);
            // The next open purges both directions, also an acknowledgement
            // the tool has not read yet: let it arrive first (request and
            // five acknowledgements).
            ASSERT_TRUE(Until([&] { return tool.FromHost().size() >= heardByTool + 6; }));
        }
        port.Close();
        ASSERT_TRUE(Until([&] { return fake.liveThreads == 0; })) << "cycle " << cycle;
        // Closed mid-upload, the tool may yet take in our last acknowledgement
        // and answer it. The answer must be in before the next open purges the
        // line: our acknowledgement of it would purge the next request.
        const auto heard = [&] {
            return tool.FromHost().size() - heardByTool >= fake.Count(Op::WriteFile) - written;
        };
        if (cycle % 4 == 3 && Until(heard)) std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(fake.Count(Op::CreateEvent), 3);
    EXPECT_EQ(fake.OpenHandles(), 3) << "the events only, reused";
}

}  // namespace
