#include <signal.h>

#include <initializer_list>

#include "interrupt.h"

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnSignal(int) {
    g_interrupted = 1;
}

}  // namespace

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool Interrupted() {
    return g_interrupted != 0;
}
