// The office bridge's parts that need no office: the call watchdog and the
// started office's process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "export/calc/call_watchdog.h"
#include "export/calc/office_process.h"

namespace {

using namespace std::chrono_literals;

TEST(CallWatchdog, DisarmReturnsOnlyOnceAnExpiryAlreadyTakenHasActed) {
    std::atomic<bool> entered{false}, acted{false};
    CallWatchdog dog;
    dog.Arm(CallWatchdog::Clock::now(), [&] {
        entered = true;
        std::this_thread::sleep_for(200ms);  // a Disarm that does not wait returns meanwhile
        acted = true;
    });
    while (!entered) std::this_thread::sleep_for(1ms);
    dog.Disarm();
    EXPECT_TRUE(acted);
}

// The process's state letter, or 0 once it is gone (reaped).
char ProcessState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    const auto paren = line.rfind(')');
    return paren + 2 < line.size() ? line[paren + 2] : 0;
}

// An office that ends, or is killed, is reaped at once (no zombie waits for
// a Poll) and its outcome kept.
TEST(OfficeProcess, AnEndedOrKilledOfficeIsReapedAtOnceAndItsOutcomeKept) {
    const struct {
        const char* script;
        OfficeProcess::State outcome;
    } cases[] = {{"exit 0", OfficeProcess::State::ExitedOk},
                 {"exit 3", OfficeProcess::State::Failed},
                 {"exec sleep 60", OfficeProcess::State::Failed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        OfficeProcess office;
        std::string error;
        ASSERT_TRUE(office.Start("/bin/sh", {"-c", c.script}, error)) << error;
        if (std::string(c.script).find("sleep") != std::string::npos) {
            EXPECT_EQ(office.Poll(), OfficeProcess::State::Running);
            office.Kill();
        }
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        // The reaper stores the outcome just after the process is gone.
        while (
            (ProcessState(office.Pid()) != 0 || office.Poll() == OfficeProcess::State::Running) &&
            std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(ProcessState(office.Pid()), 0);
        EXPECT_EQ(office.Poll(), c.outcome);
    }
}

}  // namespace
