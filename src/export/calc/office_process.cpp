#include "export/calc/office_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace {

constexpr auto kKillWait = std::chrono::seconds(2);

bool IsExecutable(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

// Filled in by the thread that waits for the process; shared, as that thread
// may outlive the OfficeProcess (the office usually outlives us).
struct OfficeProcess::Reaped {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    State state = State::Failed;
};

std::string FindOfficeProgram(const std::string& configured) {
    if (!configured.empty()) return IsExecutable(configured) ? configured : std::string();
    if (const char* path = std::getenv("PATH")) {
        std::string dirs = path;
        std::size_t start = 0;
        while (start <= dirs.size()) {
            std::size_t end = dirs.find(':', start);
            if (end == std::string::npos) end = dirs.size();
            std::string dir = dirs.substr(start, end - start);
            if (!dir.empty() && IsExecutable(dir + "/soffice")) return dir + "/soffice";
            start = end + 1;
        }
    }
    const char* usual = "/usr/lib/libreoffice/program/soffice";
    return IsExecutable(usual) ? usual : std::string();
}

bool OfficeProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          std::string& error) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    // Its output must never reach our terminal, and it must not keep our
    // descriptors (the serial port among them) open after we close them.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // A session of its own: no controlling terminal, so neither Ctrl+C nor
    // the terminal closing reaches it, and its group can be ended as one.
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        error = "cannot start " + program + ": " + std::strerror(rc);
        m_pid = 0;
        m_state = State::Failed;
        return false;
    }
    m_pid = pid;
    m_state = State::Running;
    m_reaped = std::make_shared<Reaped>();
    std::thread([pid, reaped = m_reaped] {
        // It is seen to end first and reaped only under the lock, so that
        // Kill, which signals under the lock, never signals a number already
        // given back (and maybe another program's by then).
        siginfo_t info{};
        while (waitid(P_PID, pid, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
        std::lock_guard lock(reaped->mutex);
        int status = 0;
        pid_t r;
        do r = waitpid(pid, &status, 0);
        while (r < 0 && errno == EINTR);
        // ECHILD: reaped elsewhere; nothing more to learn.
        reaped->state = r == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                            ? State::Failed
                            : State::ExitedOk;
        reaped->done = true;
        reaped->ended.notify_all();
    }).detach();
    return true;
}

OfficeProcess::State OfficeProcess::Poll() {
    if (m_pid == 0 || m_state != State::Running) return m_state;
    std::lock_guard lock(m_reaped->mutex);
    if (m_reaped->done) m_state = m_reaped->state;
    return m_state;
}

void OfficeProcess::Kill() {
    if (m_pid == 0 || m_state != State::Running) return;
    std::unique_lock lock(m_reaped->mutex);
    // Once reaped, its number and its group's may be someone else's.
    if (m_reaped->done) {
        m_state = m_reaped->state;
        return;
    }
    kill(-m_pid, SIGKILL);
    // One stuck in the kernel (a hung file system) may take long to end; the
    // reaper still sees to it, and Poll tells when.
    if (m_reaped->ended.wait_for(lock, kKillWait, [&] { return m_reaped->done; }))
        m_state = State::Failed;
}
