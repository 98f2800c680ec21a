#include "serial/comm_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "pty_tool.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Port 3 is a bare pseudo-terminal whose other end the test holds.
class PosixBackend : public ::testing::Test {
protected:
    PtyPort pty{3};
    int &master = pty.master, &line = pty.line;
};

// Settings texts as the backend builds them, applied and read back.
TEST_F(PosixBackend, SettingsWritesLostLinesAndBadHandles) {
    PosixCommPlatform& p = PosixPlatform();
    const CommHandle device = p.CreateFileW("\\\\.\\COM3");
    ASSERT_NE(device, kInvalidHandle);
    const std::tuple<const char*, int, int, int, int> cases[] = {
        {"baud=1200 parity=N data=5 stop=1", 1200, 5, kNoParity, kOneStopBit},
        {"baud=2400 parity=o data=6 stop=2", 2400, 6, kOddParity, kTwoStopBits},
        {"baud=4800 parity=E data=7", 4800, 7, kEvenParity, kTwoStopBits},
        {"baud=9600 parity=n data=8 stop=1", 9600, 8, kNoParity, kOneStopBit},
        {"baud=19200", 19200, 8, kNoParity, kOneStopBit},
        {"baud=38400 parity=e", 38400, 8, kEvenParity, kOneStopBit},
        {"baud=57600 parity=O stop=2", 57600, 8, kOddParity, kTwoStopBits},
        {"baud=115200 parity=N stop=1", 115200, 8, kNoParity, kOneStopBit}};
    CommSettings settings, back;
    // Built from text, applied and read back; a pseudo-terminal keeps 8 bits
    // without parity, so speed and stop bits show.
    for (const auto& [text, baud, size, parity, stop] : cases) {
        settings.fOutX = settings.fInX = settings.fOutxCtsFlow = 1;
        ASSERT_TRUE(p.BuildCommDCBW(text, settings) && p.SetCommState(device, settings)) << text;
        std::memset(static_cast<void*>(&back), 0xFF, sizeof back);  // all read must be written
        ASSERT_TRUE(p.GetCommState(device, back));
        EXPECT_EQ((std::vector<long long>{settings.ByteSize, settings.Parity, settings.fParity,
                                          back.BaudRate, back.StopBits, back.ByteSize, back.Parity,
                                          back.fParity, back.XonChar, back.XoffChar, back.fBinary,
                                          back.fOutX + back.fInX + back.fOutxCtsFlow}),
                  (std::vector<long long>{size, parity, parity != kNoParity, baud, stop, 8,
                                          kNoParity, 0, 0x11, 0x13, 1, 0}))
            << text;
    }

    // A write that stalls on a full queue until its time-out, or finishes
    // whole as the peer reads; a line that hangs up (what the port then does
    // is the hang-up test's); handles of the wrong kind.
    Overlapped ov;
    ov.hEvent = p.CreateEventW();
    std::uint32_t errors = 0, events = 0, done = 0;
    CommStatus status;
    std::uint8_t bytes[8];
    const Bytes big(1 << 16, 0x55);
    ASSERT_TRUE(p.SetCommTimeouts(device, {.WriteTotalTimeoutConstant = 100}));
    EXPECT_FALSE(p.WriteFile(device, big.data(), big.size(), &done, &ov));
    EXPECT_EQ(p.GetLastError(), static_cast<std::uint32_t>(ETIMEDOUT));
    ASSERT_TRUE(p.SetCommTimeouts(device, {.WriteTotalTimeoutConstant = 10000}));
    std::atomic<bool> writing{true};
    std::thread peer([&] {
        for (std::uint8_t chunk[4096]; writing;)
            if (read(master, chunk, sizeof chunk) <= 0) std::this_thread::sleep_for(1ms);
    });
    EXPECT_TRUE(p.WriteFile(device, big.data(), big.size(), &done, &ov));
    writing = false;
    peer.join();
    EXPECT_EQ(done, big.size());
    EXPECT_TRUE(p.GetOverlappedResult(device, &ov, &done, 1) &&
                p.ClearCommError(device, &errors, &status) && status.cbInQue == 0);

    for (int* end : {&master, &line}) close(std::exchange(*end, -1));
    EXPECT_FALSE(p.WaitCommEvent(device, &events, &ov));
    EXPECT_EQ(p.WaitForSingleObject(ov.hEvent, 5000), kWaitObject0) << "the hang-up wakes it";
    EXPECT_FALSE(p.WaitCommEvent(device, &events, &ov));
    EXPECT_EQ(p.WaitForSingleObject(ov.hEvent, 50), kWaitTimeout) << "a lost line never signals";
    EXPECT_FALSE(p.WriteFile(device, bytes, 1, &done, &ov));
    EXPECT_EQ(p.GetLastError(), static_cast<std::uint32_t>(EIO));
    EXPECT_TRUE(p.PurgeComm(device, kPurgeAll));

    const CommHandle lock = p.InitializeCriticalSection();
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
    EXPECT_TRUE(p.SetEvent(ov.hEvent) && p.ResetEvent(ov.hEvent) && p.CloseHandle(ov.hEvent));
    EXPECT_TRUE(p.CloseHandle(device));
}

}  // namespace
