// Test-only LD_PRELOAD shim for Wine's serial code on a pseudo-terminal.
//
// A pty has no modem lines: TIOCMGET, TIOCMBIS and TIOCMBIC fail
// with ENOTTY, and Wine then fails SetCommState (RTS on) and a WaitCommEvent
// whose mask holds EV_CTS. Here those requests, when the device refuses
// them, succeed with lines kept in this process: DSR, CTS and CD asserted,
// DTR and RTS as last set. Devices that have the lines answer themselves.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>

static int g_lines = TIOCM_DTR | TIOCM_RTS | TIOCM_DSR | TIOCM_CTS | TIOCM_CD;

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list args;
    va_start(args, request);
    int* value = va_arg(args, int*);
    va_end(args);

    const int result = real(fd, request, value);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL)) return result;
    const int settable = TIOCM_DTR | TIOCM_RTS;
    if (request == TIOCMGET) *value = g_lines;
    if (request == TIOCMBIS) g_lines |= *value & settable;
    if (request == TIOCMBIC) g_lines &= ~(*value & settable);
    return request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC ? 0 : result;
}
