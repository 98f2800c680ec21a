#include "export/calc/office_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

bool IsExecutable(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

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
    return true;
}

OfficeProcess::State OfficeProcess::Poll() {
    if (m_pid == 0 || m_state != State::Running) return m_state;
    int status = 0;
    pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid)
        m_state = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? State::ExitedOk : State::Failed;
    else if (r < 0 && errno == ECHILD)
        m_state = State::ExitedOk;  // reaped elsewhere; nothing more to learn
    return m_state;
}

void OfficeProcess::Kill() {
    if (m_pid == 0) return;
    kill(-m_pid, SIGKILL);
    if (m_state == State::Running) {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_state = State::Failed;
    }
}
