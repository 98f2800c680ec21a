#include "serial/low_latency.h"

#include <asm/ioctls.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

// A made-up adapter behind descriptor kFd: its driver flags, or no such
// request at all (as on a pseudo-terminal).
static constexpr int kFd = 1000;
static int g_flags = 0;
static bool g_refuse = false;

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list list;
    va_start(list, request);
    void* arg = va_arg(list, void*);
    va_end(list);
    if (fd != kFd) return static_cast<int>(syscall(SYS_ioctl, fd, request, arg));
    if (g_refuse) return errno = ENOTTY, -1;
    auto* info = static_cast<serial_struct*>(arg);
    if (request == TIOCGSERIAL)
        info->flags = g_flags;
    else
        g_flags = info->flags;
    return 0;
}

namespace {

// Asked for only when off, and then put back on close; the other flags kept.
TEST(LowLatency, SetOnlyWhenOffAndPutBackKeepingTheRest) {
    g_refuse = true;
    EXPECT_FALSE(RequestLowLatency(kFd));
    g_refuse = false;
    g_flags = ASYNC_LOW_LATENCY | ASYNC_SKIP_TEST;
    EXPECT_FALSE(RequestLowLatency(kFd)) << "already on: nothing to put back";
    g_flags = ASYNC_SKIP_TEST;
    EXPECT_TRUE(RequestLowLatency(kFd));
    EXPECT_EQ(g_flags, ASYNC_LOW_LATENCY | ASYNC_SKIP_TEST);
    RestoreLowLatency(kFd);
    EXPECT_EQ(g_flags, ASYNC_SKIP_TEST);
}

}  // namespace
