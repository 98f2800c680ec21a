// The office bridge's parts that need no office: the call watchdog and the
// started office's process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/calc/call_watchdog.h"
#include "export/calc/office_process.h"

namespace {

using namespace std::chrono_literals;

TEST(CallWatchdog, DisarmReturnsOnlyOnceAnExpiryAlreadyTakenHasActed) {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, released = false;
    std::vector<std::string> order;
    auto note = [&](const char* what) {
        std::lock_guard lock(mutex);
        order.push_back(what);
        changed.notify_all();
    };

    CallWatchdog dog;
    dog.Arm(CallWatchdog::Clock::now(), [&] {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
        order.push_back("expiry acted");
    });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return entered; }));
    }
    auto disarm = std::async(std::launch::async, [&] {
        dog.Disarm();
        note("disarmed");
    });
    // Gives a Disarm that does not wait the time to return first.
    disarm.wait_for(100ms);
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    disarm.get();
    EXPECT_EQ(order, (std::vector<std::string>{"expiry acted", "disarmed"}));
}

// The process's state letter, or 0 once it is gone (reaped).
char ProcessState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    const auto paren = line.rfind(')');
    return paren + 2 < line.size() ? line[paren + 2] : 0;
}

TEST(OfficeProcess, AnOfficeThatEndsIsReapedAtOnceAndItsOutcomeKept) {
    const struct {
        const char* script;
        OfficeProcess::State outcome;
    } cases[] = {{"exit 0", OfficeProcess::State::ExitedOk},
                 {"exit 3", OfficeProcess::State::Failed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        OfficeProcess office;
        std::string error;
        ASSERT_TRUE(office.Start("/bin/sh", {"-c", c.script}, error)) << error;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (ProcessState(office.Pid()) != 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(ProcessState(office.Pid()), 0) << "no zombie left without a Poll";
        EXPECT_EQ(office.Poll(), c.outcome);
    }
}

TEST(OfficeProcess, KillEndsARunningOffice) {
    OfficeProcess office;
    std::string error;
    ASSERT_TRUE(office.Start("/bin/sleep", {"60"}, error)) << error;
    EXPECT_EQ(office.Poll(), OfficeProcess::State::Running);
    office.Kill();
    EXPECT_EQ(office.Poll(), OfficeProcess::State::Failed);
    EXPECT_EQ(ProcessState(office.Pid()), 0);
}

}  // namespace
