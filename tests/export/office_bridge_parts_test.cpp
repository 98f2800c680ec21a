// The office bridge's parts that need no office: the call watchdog, the
// started office's process and the broken-pipe guard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

#include "export/calc/call_watchdog.h"
#include "export/calc/office_process.h"
#include "export/calc/sigpipe_guard.h"

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
    EXPECT_TRUE(acted && dog.Expired());
    dog.Arm(CallWatchdog::Clock::now() + 1h, {});
    EXPECT_FALSE(dog.Expired()) << "a new call starts unexpired";
}

// An office that ends, or is killed, is reaped at once (no zombie waits for
// a Poll) and its outcome kept; once reaped, Kill no longer signals its
// number, which may be another program's by then.
TEST(OfficeProcess, AnEndedOrKilledOfficeIsReapedAtOnceAndItsOutcomeKept) {
    prctl(PR_SET_CHILD_SUBREAPER, 1);              // what an office leaves behind becomes ours
    const int ours = open("/dev/null", O_RDONLY);  // none of our descriptors reaches it
    const std::pair<const char*, OfficeProcess::State> cases[] = {
        {"[ ! -e /proc/$$/fd/3 ] && { sleep 60 & exit 0; }", OfficeProcess::State::ExitedOk},
        {"exit 3", OfficeProcess::State::Failed},
        {"exec sleep 60", OfficeProcess::State::Failed}};
    for (const auto& [script, outcome] : cases) {
        SCOPED_TRACE(script);
        OfficeProcess office;
        std::string error;
        ASSERT_TRUE(office.Start("/bin/sh", {"-c", script}, error)) << error;
        if (std::string_view(script).starts_with("exec")) {
            EXPECT_EQ(office.Poll(), OfficeProcess::State::Running);
            office.Kill();
        }
        // Gone from the process table (reaped), and the outcome stored just after.
        const std::string stat = "/proc/" + std::to_string(office.Pid()) + "/stat";
        for (auto end = std::chrono::steady_clock::now() + 5s;
             (std::ifstream(stat) || office.Poll() == OfficeProcess::State::Running) &&
             std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(5ms);
        EXPECT_FALSE(std::ifstream(stat));
        EXPECT_EQ(office.Poll(), outcome);
        office.Kill();  // after the reaping: what it left behind ends by our signal alone
        int status = 0;
        EXPECT_TRUE(kill(-office.Pid(), SIGTERM) != 0 ||
                    (waitpid(-office.Pid(), &status, 0) > 0 && WTERMSIG(status) == SIGTERM));
    }
    close(ours);
}

// A pipe broken while the guard is held leaves nothing pending; a SIGPIPE
// already pending when it was taken is left for its owner.
TEST(SigpipeGuard, APipeBrokenUnderTheGuardIsTakenOffAndOneFromBeforeKept) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    close(fds[0]);
    signal(SIGPIPE, SIG_DFL);  // one that escapes ends the test, as it would end the program
    sigset_t pipeSet, old, pending;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    for (bool before : {false, true}) {
        if (before) {  // blocked by its owner, and raised
            pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
            EXPECT_EQ(-1, write(fds[1], "x", 1));
        }
        {
            SigpipeGuard guard;
            EXPECT_EQ(-1, write(fds[1], "x", 1));
        }
        sigpending(&pending);
        EXPECT_EQ(before, sigismember(&pending, SIGPIPE) == 1);
    }
    const timespec none{};
    sigtimedwait(&pipeSet, nullptr, &none);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    close(fds[1]);
}

}  // namespace
