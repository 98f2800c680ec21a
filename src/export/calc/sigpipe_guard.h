#pragma once

#include <csignal>

// Writing to the pipe of an office that has died raises SIGPIPE, which would
// end the whole program. While a guard lives, the calling thread gets EPIPE
// instead (and the office's connection threads started meanwhile inherit
// that); a SIGPIPE raised meanwhile is taken off before the old mask returns.
class SigpipeGuard {
public:
    SigpipeGuard();
    ~SigpipeGuard();
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

    // For threads of our own that only ever talk to the office.
    static void BlockForThisThread();

private:
    sigset_t m_old;
    bool m_wasPending = false;
};
