#include "serial/comm_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "serial/low_latency.h"
#include "serial/port_path.h"
#include "winapi/build_comm_dcb.h"
#include "winapi/message_box.h"

using kernel::As;
using kernel::Fail;

namespace {

int QueuedBytes(int fd) {
    int queued = 0;
    return ioctl(fd, FIONREAD, &queued) == 0 ? queued : -1;
}

// A line that hung up (pty peer gone, adapter pulled) never comes back. The
// port learns of it as from a Windows driver: the queue shows a byte waiting
// until one read has failed with the reason.
class LineLoss {
public:
    void Lost() { m_lost = true; }
    bool IsLost() const { return m_lost; }
    bool Unannounced() const { return m_lost && !m_announced; }
    void Announced() {
        m_lost = true;
        m_announced = true;
    }

private:
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_announced{false};
};

// An open tty. A pending line wait arms it with its event, which the
// multiple wait sets once the tty turns readable or hangs up.
struct Device : kernel::FdWatch {
    int fd = -1;
    std::uint32_t mask = 0;
    CommTimeouts timeouts;
    LineLoss line;
    // Low latency was turned on by the open, and goes off again on close.
    bool lowLatencySet = false;
    ~Device() override {
        if (fd >= 0) {
            if (lowLatencySet) RestoreLowLatency(fd);
            // Lets the next program (or our next open) in even while
            // someone else still holds the line open.
            ioctl(fd, TIOCNXCL);
            close(fd);
        }
    }
    int Fd() const override { return fd; }

protected:
    void Ready(short revents) override {
        if ((revents & (POLLHUP | POLLERR | POLLNVAL)) && QueuedBytes(fd) <= 0) line.Lost();
    }
};

speed_t SpeedFor(std::uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

std::uint32_t BaudFor(speed_t speed) {
    for (std::uint32_t baud : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u})
        if (SpeedFor(baud) == speed) return baud;
    return 0;
}

}  // namespace

CommHandle PosixCommPlatform::CreateFileW(const std::string& deviceName) {
    int number = 0;
    char rest = 0;
    if (std::sscanf(deviceName.c_str(), "\\\\.\\COM%d%c", &number, &rest) != 1) {
        Fail(EINVAL);
        return kInvalidHandle;
    }
    const std::string path = PortDevicePath(number);
    if (path.empty()) {
        Fail(ENOENT);
        return kInvalidHandle;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return kInvalidHandle;
    }
    // A port is only a port if it is a terminal; and no two programs share
    // one (TIOCEXCL keeps out others, flock even those running as root).
    int error = 0;
    if (!isatty(fd))
        error = ENOTTY;
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    else if (ioctl(fd, TIOCEXCL) != 0)
        error = errno;
    if (error != 0) {
        close(fd);
        Fail(error);
        return kInvalidHandle;
    }
    auto* device = new Device;
    device->fd = fd;
    device->lowLatencySet = RequestLowLatency(fd);
    return kernel::ToHandle(device);
}

BOOL PosixCommPlatform::SetCommTimeouts(CommHandle handle, const CommTimeouts& timeouts) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    device->timeouts = timeouts;
    return 1;
}

BOOL PosixCommPlatform::SetCommMask(CommHandle handle, std::uint32_t mask) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    device->mask = mask;
    return 1;
}

BOOL PosixCommPlatform::GetCommMask(CommHandle handle, std::uint32_t* mask) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    *mask = device->mask;
    return 1;
}

BOOL PosixCommPlatform::GetCommState(CommHandle handle, CommSettings& settings) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    termios tio{};
    if (tcgetattr(device->fd, &tio) != 0) return Fail(errno);
    settings.BaudRate = BaudFor(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            settings.ByteSize = 5;
            break;
        case CS6:
            settings.ByteSize = 6;
            break;
        case CS7:
            settings.ByteSize = 7;
            break;
        default:
            settings.ByteSize = 8;
            break;
    }
    settings.fParity = (tio.c_cflag & PARENB) ? 1 : 0;
    settings.Parity = !(tio.c_cflag & PARENB)  ? kNoParity
                      : (tio.c_cflag & PARODD) ? kOddParity
                                               : kEvenParity;
    settings.StopBits = (tio.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
    settings.fBinary = 1;
    settings.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) ? 1 : 0;
    settings.fOutX = (tio.c_iflag & IXON) ? 1 : 0;
    settings.fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
    int lines = 0;
    settings.fRtsControl =
        (ioctl(device->fd, TIOCMGET, &lines) == 0 && (lines & TIOCM_RTS)) ? kRtsControlEnable : 0;
    settings.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    settings.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return 1;
}

BOOL PosixCommPlatform::BuildCommDCBW(const std::string& text, CommSettings& settings) {
    return BuildCommDcb(text, settings) ? 1 : Fail(EINVAL);
}

BOOL PosixCommPlatform::SetCommState(CommHandle handle, const CommSettings& settings) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    const speed_t speed = SpeedFor(settings.BaudRate);
    if (speed == B0 || settings.ByteSize < 5 || settings.ByteSize > 8) return Fail(EINVAL);
    termios tio{};
    if (tcgetattr(device->fd, &tio) != 0) return Fail(errno);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[settings.ByteSize - 5];
    switch (settings.Parity) {
        case kOddParity:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            tio.c_cflag |= PARENB;
            break;
        case kMarkParity:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case kSpaceParity:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (settings.StopBits == kTwoStopBits) tio.c_cflag |= CSTOPB;
    if (settings.fOutxCtsFlow) tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (settings.fOutX) tio.c_iflag |= IXON;
    if (settings.fInX) tio.c_iflag |= IXOFF;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(device->fd, TCSANOW, &tio) != 0) return Fail(errno);
    // A pseudo-terminal has no modem lines; only a real one can refuse.
    const int rts = TIOCM_RTS;
    if (settings.fRtsControl == kRtsControlEnable && ioctl(device->fd, TIOCMBIS, &rts) != 0 &&
        errno != ENOTTY && errno != EINVAL)
        return Fail(errno);
    return 1;
}

BOOL PosixCommPlatform::PurgeComm(CommHandle handle, std::uint32_t flags) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    const bool input = flags & (kPurgeRxAbort | kPurgeRxClear);
    const bool output = flags & (kPurgeTxAbort | kPurgeTxClear);
    if (!input && !output) return 1;
    const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (tcflush(device->fd, queue) != 0 && !device->line.IsLost()) return Fail(errno);
    return 1;
}

BOOL PosixCommPlatform::WaitCommEvent(CommHandle handle, std::uint32_t* events,
                                      Overlapped* overlapped) {
    Device* device = As<Device>(handle);
    kernel::Event* line = overlapped ? As<kernel::Event>(overlapped->hEvent) : nullptr;
    if (!device || !line) return Fail(EBADF);
    *events = 0;
    line->Reset();
    // A line that is gone never signals again: the worker sleeps until
    // it is stopped instead of waking for nothing.
    if (device->line.IsLost()) return Fail(static_cast<int>(kErrorIoPending));
    if (QueuedBytes(device->fd) > 0) {
        *events = kEvRxChar;
        line->Set();
        return 1;
    }
    device->Arm(line);
    return Fail(static_cast<int>(kErrorIoPending));
}

BOOL PosixCommPlatform::ClearCommError(CommHandle handle, std::uint32_t* errors,
                                       CommStatus* status) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    *errors = 0;
    const int queued = QueuedBytes(device->fd);
    if (device->line.Unannounced()) {
        status->cbInQue = queued > 0 ? static_cast<std::uint32_t>(queued) : 1;
        return 1;
    }
    if (queued < 0) return Fail(errno);
    status->cbInQue = static_cast<std::uint32_t>(queued);
    return 1;
}

BOOL PosixCommPlatform::ReadFile(CommHandle handle, void* data, std::uint32_t count,
                                 std::uint32_t* done, Overlapped*) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    *done = 0;
    const ssize_t n = read(device->fd, data, count);
    if (n > 0) {
        *done = static_cast<std::uint32_t>(n);
        return 1;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 1;  // nothing after all
    const int error = n == 0 ? EIO : errno;
    if (n == 0 || error == EIO || error == ENXIO || error == ENODEV) {
        device->line.Announced();
    }
    return Fail(error);
}

BOOL PosixCommPlatform::WriteFile(CommHandle handle, const void* data, std::uint32_t count,
                                  std::uint32_t* done, Overlapped*) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    *done = 0;
    if (device->line.IsLost()) return Fail(EIO);
    using Clock = std::chrono::steady_clock;
    const auto limit = std::chrono::milliseconds(
        static_cast<std::uint64_t>(device->timeouts.WriteTotalTimeoutMultiplier) * count +
        device->timeouts.WriteTotalTimeoutConstant);
    const Clock::time_point deadline = Clock::now() + limit;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (*done < count) {
        const ssize_t n = write(device->fd, bytes + *done, count - *done);
        if (n > 0) {
            *done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail(errno);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return Fail(ETIMEDOUT);
        pollfd pfd{device->fd, POLLOUT, 0};
        const int ready =
            poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
        if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) return Fail(EIO);
    }
    return 1;
}

BOOL PosixCommPlatform::GetOverlappedResult(CommHandle handle, Overlapped* overlapped,
                                            std::uint32_t* done, BOOL) {
    // Transfers here finish inside ReadFile and WriteFile.
    if (!As<Device>(handle)) return Fail(EBADF);
    *done = static_cast<std::uint32_t>(overlapped->InternalHigh);
    return 1;
}

BOOL PosixCommPlatform::PeekMessageW(OwnerHandle owner) {
    if (OwnerMailbox::Peek(owner)) return 1;
    // Close polls this in a loop while the worker ends; an empty pass gives
    // the processor away as Windows' PeekMessage does.
    std::this_thread::yield();
    return 0;
}

PosixCommPlatform& PosixPlatform() {
    static PosixCommPlatform platform;
    return platform;
}

CommPlatform& DefaultCommPlatform() {
    return PosixPlatform();
}
