#include "serial/low_latency.h"

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace {

bool SetLowLatency(int fd, bool on, bool onlyIfChanged) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return false;
    const bool isOn = (info.flags & ASYNC_LOW_LATENCY) != 0;
    if (onlyIfChanged && isOn == on) return false;
    if (on)
        info.flags |= ASYNC_LOW_LATENCY;
    else
        info.flags &= ~ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &info) == 0;
}

}  // namespace

bool RequestLowLatency(int fd) {
    return SetLowLatency(fd, true, true);
}

void RestoreLowLatency(int fd) {
    SetLowLatency(fd, false, false);
}
#else
bool RequestLowLatency(int) {
    return false;
}

void RestoreLowLatency(int) {}
#endif
