#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fake_comm_platform.h"

namespace {

using namespace std::chrono_literals;
using Op = FakeCommPlatform::Op;
using Bytes = std::vector<WPARAM>;

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// The owner window: records every notification on the test's thread.
struct Owner {
    std::vector<Message> seen;
    std::function<void(const Message&)> onMessage;
    OwnerMailbox box{[this](UINT m, WPARAM w, LPARAM l) -> LRESULT {
        seen.push_back({m, w, l});
        if (onMessage) onMessage(seen.back());
        return 0;
    }};

    // Handles the notifications until `done`, for five seconds at most.
    bool Until(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!done() && std::chrono::steady_clock::now() < deadline)
            if (box.WaitForSent(std::chrono::steady_clock::now() + 1ms)) box.DispatchSent();
        return done();
    }
    Bytes Received() const {
        Bytes bytes;
        for (const Message& m : seen)
            if (m.message == WM_SERIAL_BYTE) bytes.push_back(m.wParam);
        return bytes;
    }
    int CountOf(UINT message) const {
        return static_cast<int>(
            std::count_if(seen.begin(), seen.end(), [&](auto& m) { return m.message == message; }));
    }
};

// Reaches the stop event, which only Close and the destructor set.
struct TestPort : CSerialPort {
    using CSerialPort::CSerialPort;
    using CSerialPort::m_stopEvent;
};

// The box of a failed operation, as the fake records it.
std::string Report(const std::string& operation, int port,
                   const std::string& system = "The device does not answer.") {
    return "Application Error|WARNING:  " + operation + " Failed with the following error: \n" +
           system + "\nPort: " + std::to_string(port) + "\n|16";
}
const std::string kWaitBox = "|接收有问题!|0";

class SerialPortTest : public ::testing::Test {
protected:
    void TearDown() override { port.Close(); }

    void OpenAndStart(int number = 3) {
        ASSERT_TRUE(port.Open(owner.box.Handle(), number));
        const int waits = fake.Count(Op::WaitCommEvent);
        ASSERT_TRUE(port.StartMonitor());
        // Bytes that came before the worker's first purge would be dropped.
        ASSERT_TRUE(WaitFor([&] { return fake.Count(Op::WaitCommEvent) > waits; }));
    }
    bool WaitFor(const std::function<bool()>& done) { return owner.Until(done); }
    bool HandOver(std::vector<std::uint8_t> bytes) {
        return port.HandOver(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }

    FakeCommPlatform fake;
    Owner owner;
    TestPort port{fake};
};

TEST_F(SerialPortTest, OpenAppliesTheFixedTimeoutsAndLineSettingsAndKeepsTheRest) {
    ASSERT_TRUE(port.Open(owner.box.Handle(), 3));
    EXPECT_EQ(fake.CallsOf(Op::CreateFile).at(0).text, "\\\\.\\COM3");
    EXPECT_EQ(fake.CallsOf(Op::BuildCommDCB).at(0).text, "baud=9600 parity=N data=8 stop=1");
    EXPECT_EQ(fake.CallsOf(Op::SetCommMask).at(0).value, 9u);
    const CommTimeouts t = fake.AppliedTimeouts();
    EXPECT_EQ((std::vector<std::uint32_t>{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                          t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                          t.WriteTotalTimeoutConstant}),
              std::vector<std::uint32_t>(5, 1000000));
    CommSettings expected = FakeCommPlatform::kInitialSettings;
    expected.BaudRate = 9600;
    expected.ByteSize = 8;
    expected.Parity = kNoParity;
    expected.StopBits = kOneStopBit;
    expected.EvtChar = 'q';
    expected.fRtsControl = kRtsControlEnable;
    const CommSettings applied = fake.AppliedSettings();
    EXPECT_EQ(std::memcmp(&applied, &expected, sizeof expected), 0);
    EXPECT_EQ(fake.CallsOf(Op::PurgeComm).at(0).value, kPurgeAll);
    EXPECT_TRUE(fake.Boxes().empty());
    EXPECT_FALSE(fake.LockHeld());
}

// A port without its events, its device or its worker fails quietly and
// holds nothing; Close only tidies up and a later Open works.
TEST_F(SerialPortTest, MissingEventDeviceOrWorkerFailsQuietly) {
    for (Op op : {Op::CreateEvent, Op::CreateFile, Op::CreateThread}) {
        fake.Fail(op, 2);
        EXPECT_EQ(port.Open(owner.box.Handle(), 12), op == Op::CreateThread);
        EXPECT_FALSE(port.StartMonitor());
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.IsMonitoring());
        EXPECT_FALSE(fake.LockHeld());
        EXPECT_EQ(fake.OpenDevices(), 0);
        port.Close();
        EXPECT_FALSE(HandOver({1, 2})) << "the send buffer is gone";
    }
    EXPECT_TRUE(fake.Boxes().empty());
    OpenAndStart();
}

// The first failing step is reported alone, with the system's text whole
// or a stand-in for none, and the later steps are skipped.
TEST_F(SerialPortTest, FirstFailingConfigurationStepIsReportedAloneAndTheRestSkipped) {
    const std::string longText(1000, 'x');
    const struct {
        Op op;
        std::string name, system, shown;
    } steps[] = {{Op::SetCommTimeouts, "SetCommTimeouts()", "broken", "broken"},
                 {Op::SetCommMask, "SetCommMask()", "", "Unknown error 31"},
                 {Op::GetCommState, "GetCommState()", longText, longText},
                 {Op::BuildCommDCB, "BuildCommDCB()", "broken", "broken"},
                 {Op::SetCommState, "SetCommState()", "broken", "broken"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        FakeCommPlatform local;
        TestPort p(local);
        local.SetSystemText(step.system);
        local.Fail(step.op, 31);
        EXPECT_TRUE(p.Open(owner.box.Handle(), 3));
        EXPECT_EQ(local.Boxes(), std::vector<std::string>{Report(step.name, 3, step.shown)});
        for (const auto* later = &step + 1; later != std::end(steps); ++later)
            EXPECT_EQ(local.Count(later->op), 0);
        EXPECT_EQ(local.Count(Op::PurgeComm), 1);
        EXPECT_FALSE(local.LockHeld());
    }
}

// --- receiving ---

// A line event with nothing waiting goes straight back to the line wait,
// yet one that never stops completing cannot starve a stop.
TEST_F(SerialPortTest, ImmediateLineEventsWithNothingWaitingWaitForTheLineAgain) {
    fake.CompleteLineWaitAtOnce(3);
    OpenAndStart();
    ASSERT_TRUE(WaitFor([&] { return fake.Count(Op::WaitForMultipleObjects) >= 1; }));
    EXPECT_EQ(fake.Count(Op::WaitCommEvent), 4) << "three at once, then one pending";
    EXPECT_TRUE(owner.seen.empty());
    port.Close();

    fake.CompleteLineWaitAtOnce(1 << 30);
    OpenAndStart();
    ASSERT_TRUE(WaitFor([&] { return fake.Count(Op::WaitCommEvent) > 100; }));
    port.Close();
    EXPECT_FALSE(port.IsMonitoring());
    EXPECT_EQ(fake.LastExitCode(), 100u);
}

TEST_F(SerialPortTest, DrainEndsAsSoonAsStopIsSignalledEvenWithBytesWaiting) {
    OpenAndStart();
    owner.onMessage = [&](const Message&) { fake.SetEvent(port.m_stopEvent); };
    fake.Incoming({1, 2, 3});
    ASSERT_TRUE(WaitFor([&] { return !port.IsMonitoring(); }));
    EXPECT_EQ(owner.Received(), (Bytes{1}));
    EXPECT_EQ(fake.InputWaiting(), 2u);
}

// Every wake-up delivers each byte read, unsigned and with the port's
// number, then one CTS. A failed read shows its box and delivers nothing for
// that pass; a read that succeeds without a byte delivers nothing either.
TEST_F(SerialPortTest, EachWakeUpDeliversTheBytesReadThenOneCts) {
    OpenAndStart(4);
    fake.Fail(Op::ReadFile, 22);
    fake.ReadNothing(1);
    fake.Incoming({0xEB, 8});
    ASSERT_TRUE(WaitFor([&] { return owner.CountOf(WM_SERIAL_CTS) == 1; }));
    EXPECT_EQ(owner.Received(), (Bytes{235, 8}));
    EXPECT_EQ(fake.Boxes().at(0), Report("ReadFile()", 4));
    EXPECT_EQ(fake.Count(Op::ReadFile), 4);

    fake.SetTransfersPending(true);
    fake.Fail(Op::GetOverlappedResult, 995);
    fake.Incoming({9, 10});
    ASSERT_TRUE(WaitFor([&] { return owner.CountOf(WM_SERIAL_CTS) == 2; }));
    EXPECT_EQ(owner.Received(), (Bytes{235, 8, 10})) << "9 was lost in the failed read";
    EXPECT_EQ(fake.Boxes().at(1), Report("GetOverlappedResults() in ReadFile()", 4));
    ASSERT_EQ(owner.seen.size(), 5u) << "nothing but bytes and CTS";
    for (const Message& m : owner.seen) EXPECT_EQ(m.lParam, 4);
    EXPECT_EQ(owner.seen[2].message, WM_SERIAL_CTS);
    EXPECT_EQ(owner.seen[2].wParam, 0u);
}

// --- sending ---

// Hand-overs replace what the worker has not yet taken, whether it has not
// started or is busy writing; every write first discards both queues.
TEST_F(SerialPortTest, HandOversBeforeTheWorkerTakesThemGiveOneWriteOfTheLatest) {
    ASSERT_TRUE(port.Open(owner.box.Handle(), 3));
    ASSERT_TRUE(HandOver({0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30}));
    ASSERT_TRUE(HandOver({1}));
    bool first = true;
    fake.onWrite = [&] {
        if (!std::exchange(first, false)) return;
        HandOver({2, 2});
        HandOver({3, 3, 3});
    };
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_TRUE(fake.WaitForWrites(2, 5s));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(fake.Writes(), (std::vector<std::vector<std::uint8_t>>{{1}, {3, 3, 3}}));
    const auto calls = fake.Calls();
    for (std::size_t i = 1; i < calls.size(); ++i) {
        if (calls[i].op != Op::WriteFile) continue;
        EXPECT_EQ(calls[i - 1].op, Op::PurgeComm);
        EXPECT_EQ(calls[i - 1].value, kPurgeAll);
    }
    EXPECT_FALSE(HandOver(std::vector<std::uint8_t>(513))) << "more than the buffer holds";
    fake.onWrite = nullptr;
}

TEST_F(SerialPortTest, LineAndSendTogetherDrainFirstAndWriteOnALaterPass) {
    OpenAndStart();
    bool writtenBeforeLastByte = true;
    owner.onMessage = [&](const Message& m) {
        if (m.message == WM_SERIAL_CTS && owner.CountOf(WM_SERIAL_CTS) == 1) {
            // Both events will be signalled when the worker next waits.
            fake.Incoming({0x42});
            HandOver({0xF5});
        }
        if (m.message == WM_SERIAL_BYTE && m.wParam == 0x42)
            writtenBeforeLastByte = !fake.Writes().empty();
    };
    fake.Incoming({1});
    ASSERT_TRUE(WaitFor([&] { return fake.Writes().size() == 1; }));
    EXPECT_EQ(owner.Received(), (Bytes{1, 0x42}));
    EXPECT_FALSE(writtenBeforeLastByte);
}

TEST_F(SerialPortTest, StopAndSendTogetherEndTheWorkerWithoutWriting) {
    ASSERT_TRUE(port.Open(owner.box.Handle(), 3));
    ASSERT_TRUE(HandOver({1, 2, 3}));
    fake.SetEvent(port.m_stopEvent);
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_TRUE(WaitFor([&] { return !port.IsMonitoring(); }));
    EXPECT_EQ(fake.Count(Op::WriteFile), 0);
    EXPECT_EQ(fake.LastExitCode(), 100u);
}

TEST_F(SerialPortTest, FailedWritesAreReportedOnceAndNotRepeated) {
    OpenAndStart(5);
    fake.Fail(Op::WriteFile, 1167);
    HandOver({1, 2, 3});
    ASSERT_TRUE(WaitFor([&] { return fake.Boxes().size() == 1; }));
    EXPECT_EQ(fake.Boxes()[0], Report("WriteFile()", 5));

    fake.SetTransfersPending(true);
    fake.Fail(Op::GetOverlappedResult, 1167);
    HandOver({1, 2, 3});
    ASSERT_TRUE(WaitFor([&] { return fake.Boxes().size() == 2; }));
    EXPECT_EQ(fake.Boxes()[1], Report("GetOverlappedResults() in WriteFile()", 5));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(fake.Count(Op::WriteFile), 2);
    EXPECT_FALSE(fake.LockHeld());
}

// --- failing waits ---

// Waits that keep failing show one box, then the worker sleeps on the stop
// alone; when even that wait fails it ends, and the port stays held until
// Close releases it, not behind the owner's back.
TEST_F(SerialPortTest, WaitsThatKeepFailingShowOneBoxAndDoNotSpin) {
    fake.Fail(Op::WaitForMultipleObjects, 6, 4);
    OpenAndStart();
    ASSERT_TRUE(WaitFor([&] { return fake.Count(Op::WaitForSingleObject) >= 1; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(fake.Boxes(), std::vector<std::string>{kWaitBox});
    EXPECT_EQ(fake.Count(Op::WaitForMultipleObjects), 2);
    port.Close();
    EXPECT_EQ(fake.LastExitCode(), 100u);

    fake.Fail(Op::WaitForMultipleObjects, 6, -1);
    fake.Fail(Op::WaitForSingleObject, 6, -1);
    OpenAndStart();
    const bool ended = WaitFor([&] { return !port.IsMonitoring(); });
    const int waits = fake.Count(Op::WaitForMultipleObjects);
    fake.Fail(Op::WaitForMultipleObjects, 0, 0);  // lets a spinning worker go
    fake.Fail(Op::WaitForSingleObject, 0, 0);
    EXPECT_TRUE(ended);
    EXPECT_LE(waits, 4) << "no busy loop";
    EXPECT_EQ(fake.Boxes(), (std::vector<std::string>{kWaitBox, kWaitBox}));
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_EQ(fake.OpenDevices() + fake.LiveThreads(), 0);
}

TEST_F(SerialPortTest, LineWaitFailingEveryTimeIsReportedOnceAndBadParameterNever) {
    fake.SetSystemText("bad parameter");
    fake.Fail(Op::WaitCommEvent, kErrorInvalidParameter);
    OpenAndStart();
    ASSERT_TRUE(WaitFor([&] { return fake.Count(Op::WaitForMultipleObjects) >= 1; }));
    fake.SetSystemText("broken");
    fake.Fail(Op::WaitCommEvent, 31, -1);
    for (std::size_t i = 1; i <= 3; ++i) {
        HandOver({1});
        ASSERT_TRUE(fake.WaitForWrites(i, 5s));
    }
    ASSERT_EQ(fake.Boxes().size(), 1u);
    EXPECT_EQ(fake.Boxes()[0], Report("WaitCommEvent()", 3, "broken"));
}

// --- stopping, closing and reopening ---

// Close right after the start must wait for the worker itself, also where
// closing a thread's handle does not wait for the thread.
TEST_F(SerialPortTest, ReopeningReusesTheEventsAndCloseRightAfterStartWaitsForTheWorker) {
    OpenAndStart();
    port.Close();
    const int afterFirstClose = fake.OpenHandles();
    for (bool closeWaits : {true, false}) {
        if (!closeWaits) fake.CloseThreadsWithoutWaiting();
        for (int cycle = 0; cycle < 50; ++cycle) {
            ASSERT_TRUE(port.Open(owner.box.Handle(), 3));
            ASSERT_TRUE(HandOver({1})) << "a new send buffer";
            ASSERT_TRUE(port.StartMonitor());
            port.Close();
            ASSERT_TRUE(WaitFor([&] { return fake.LiveThreads() == 0; })) << cycle;
            ASSERT_EQ(fake.OpenDevices(), 0) << "cycle " << cycle;
        }
    }
    EXPECT_EQ(fake.Count(Op::CreateEvent), 3);
    EXPECT_EQ(fake.OpenHandles(), afterFirstClose) << "three events and the lock only";
}

TEST(SerialPortDestructor, StopsAWorkerWhoseOwnerIsGone) {
    FakeCommPlatform fake;
    auto owner = std::make_unique<Owner>();
    auto port = std::make_unique<CSerialPort>(fake);
    ASSERT_TRUE(port->Open(owner->box.Handle(), 2));
    ASSERT_TRUE(port->StartMonitor());
    owner.reset();
    fake.Incoming({1, 2, 3});
    port.reset();
    EXPECT_EQ(fake.LastExitCode(), 100u);
    EXPECT_EQ(fake.OpenHandles(), 0);
}

}  // namespace
