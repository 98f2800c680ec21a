#include "export/calc/sigpipe_guard.h"

#include <pthread.h>
#include <time.h>

namespace {

sigset_t PipeSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

bool PipePending() {
    sigset_t pending;
    sigemptyset(&pending);
    return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeGuard::SigpipeGuard() {
    sigset_t set = PipeSet();
    pthread_sigmask(SIG_BLOCK, &set, &m_old);
    m_wasPending = PipePending();
}

SigpipeGuard::~SigpipeGuard() {
    if (!m_wasPending && PipePending()) {
        sigset_t set = PipeSet();
        timespec none{0, 0};
        sigtimedwait(&set, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

void SigpipeGuard::BlockForThisThread() {
    sigset_t set = PipeSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}
