#include "serial/comm_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "serial/low_latency.h"
#include "serial/port_path.h"
#include "winapi/program_title.h"

namespace {

thread_local std::uint32_t t_lastError = 0;

BOOL Fail(int error) {
    t_lastError = static_cast<std::uint32_t>(error);
    return 0;
}

struct Object {
    virtual ~Object() = default;
};

// A manual-reset event. The eventfd is readable exactly while the event is
// set, so poll() can wait on it together with the device.
struct Event : Object {
    std::mutex mutex;
    bool set = false;
    int fd = -1;
    ~Event() override {
        if (fd >= 0) close(fd);
    }
    void Set() {
        std::lock_guard lock(mutex);
        if (set) return;
        set = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);
    }
    void Reset() {
        std::lock_guard lock(mutex);
        if (!set) return;
        set = false;
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = read(fd, &value, sizeof value);
    }
    bool IsSet() {
        std::lock_guard lock(mutex);
        return set;
    }
};

struct Lock : Object {
    std::mutex mutex;
};

struct Device : Object {
    int fd = -1;
    std::uint32_t mask = 0;
    CommTimeouts timeouts;
    // The event a pending line wait signals when the device turns readable.
    std::atomic<Event*> armed{nullptr};
    // The line hung up (pty peer gone, adapter pulled); it never comes back.
    std::atomic<bool> lost{false};
    // The failed read that tells the user about it has happened.
    std::atomic<bool> lossReported{false};
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
};

struct Thread : Object {
    std::thread thread;
};

template <typename T>
T* As(CommHandle handle) {
    if (handle == kNullHandle || handle == kInvalidHandle) return nullptr;
    return dynamic_cast<T*>(reinterpret_cast<Object*>(handle));
}

CommHandle ToHandle(Object* object) {
    return reinterpret_cast<CommHandle>(object);
}

// Devices with a pending line wait, for the three-way wait to watch.
std::mutex g_devicesMutex;
std::vector<Device*> g_devices;

int QueuedBytes(int fd) {
    int queued = 0;
    return ioctl(fd, FIONREAD, &queued) == 0 ? queued : -1;
}

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

std::mutex g_boxMutex;
PosixCommPlatform::BoxFunction g_box;

int ShowBox(const std::string& text, const std::string& caption, std::uint32_t type) {
    PosixCommPlatform::BoxFunction box;
    {
        std::lock_guard lock(g_boxMutex);
        box = g_box;
    }
    if (box) return box(text, caption, type);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return 1;
}

}  // namespace

void PosixCommPlatform::SetBoxFunction(BoxFunction box) {
    std::lock_guard lock(g_boxMutex);
    g_box = std::move(box);
}

CommHandle PosixCommPlatform::CreateEventW() {
    auto* event = new Event;
    event->fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (event->fd < 0) {
        Fail(errno);
        delete event;
        return kNullHandle;
    }
    return ToHandle(event);
}

BOOL PosixCommPlatform::SetEvent(CommHandle handle) {
    Event* event = As<Event>(handle);
    if (!event) return Fail(EBADF);
    event->Set();
    return 1;
}

BOOL PosixCommPlatform::ResetEvent(CommHandle handle) {
    Event* event = As<Event>(handle);
    if (!event) return Fail(EBADF);
    event->Reset();
    return 1;
}

CommHandle PosixCommPlatform::InitializeCriticalSection() {
    return ToHandle(new Lock);
}

void PosixCommPlatform::EnterCriticalSection(CommHandle handle) {
    if (Lock* lock = As<Lock>(handle)) lock->mutex.lock();
}

void PosixCommPlatform::LeaveCriticalSection(CommHandle handle) {
    if (Lock* lock = As<Lock>(handle)) lock->mutex.unlock();
}

void PosixCommPlatform::DeleteCriticalSection(CommHandle handle) {
    delete As<Lock>(handle);
}

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
    return ToHandle(device);
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
    CommSettings built = settings;
    // As on Windows, the settings text turns flow control off unless it
    // asks for it.
    built.fOutxCtsFlow = 0;
    built.fOutxDsrFlow = 0;
    built.fOutX = 0;
    built.fInX = 0;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const auto equals = word.find('=');
        if (equals == std::string::npos) return Fail(EINVAL);
        const std::string key = word.substr(0, equals);
        const std::string value = word.substr(equals + 1);
        char* end = nullptr;
        const unsigned long number = std::strtoul(value.c_str(), &end, 10);
        const bool numeric = !value.empty() && *end == '\0';
        if (key == "baud" && numeric && SpeedFor(static_cast<std::uint32_t>(number)) != B0) {
            built.BaudRate = static_cast<std::uint32_t>(number);
        } else if (key == "parity" && value.size() == 1) {
            switch (value[0] | 0x20) {
                case 'n':
                    built.Parity = kNoParity;
                    break;
                case 'o':
                    built.Parity = kOddParity;
                    break;
                case 'e':
                    built.Parity = kEvenParity;
                    break;
                case 'm':
                    built.Parity = kMarkParity;
                    break;
                case 's':
                    built.Parity = kSpaceParity;
                    break;
                default:
                    return Fail(EINVAL);
            }
            built.fParity = built.Parity != kNoParity;
        } else if (key == "data" && numeric && number >= 5 && number <= 8) {
            built.ByteSize = static_cast<std::uint8_t>(number);
        } else if (key == "stop" && (value == "1" || value == "2")) {
            built.StopBits = value == "1" ? kOneStopBit : kTwoStopBits;
        } else {
            return Fail(EINVAL);
        }
    }
    settings = built;
    return 1;
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
    if (tcflush(device->fd, queue) != 0 && !device->lost) return Fail(errno);
    return 1;
}

BOOL PosixCommPlatform::WaitCommEvent(CommHandle handle, std::uint32_t* events,
                                      Overlapped* overlapped) {
    Device* device = As<Device>(handle);
    Event* line = overlapped ? As<Event>(overlapped->hEvent) : nullptr;
    if (!device || !line) return Fail(EBADF);
    *events = 0;
    line->Reset();
    // A line that is gone never signals again: the worker sleeps until
    // it is stopped instead of waking for nothing.
    if (device->lost) return Fail(static_cast<int>(kErrorIoPending));
    if (QueuedBytes(device->fd) > 0) {
        *events = kEvRxChar;
        line->Set();
        return 1;
    }
    {
        std::lock_guard lock(g_devicesMutex);
        device->armed = line;
        if (std::find(g_devices.begin(), g_devices.end(), device) == g_devices.end())
            g_devices.push_back(device);
    }
    return Fail(static_cast<int>(kErrorIoPending));
}

BOOL PosixCommPlatform::ClearCommError(CommHandle handle, std::uint32_t* errors,
                                       CommStatus* status) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    *errors = 0;
    const int queued = QueuedBytes(device->fd);
    // A lost line is shown to the user by one failing read.
    if (device->lost && !device->lossReported) {
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
        device->lost = true;
        device->lossReported = true;
    }
    return Fail(error);
}

BOOL PosixCommPlatform::WriteFile(CommHandle handle, const void* data, std::uint32_t count,
                                  std::uint32_t* done, Overlapped*) {
    Device* device = As<Device>(handle);
    if (!device) return Fail(EBADF);
    *done = 0;
    if (device->lost) return Fail(EIO);
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

std::uint32_t PosixCommPlatform::WaitForMultipleObjects(std::uint32_t count,
                                                        const CommHandle* handles, BOOL,
                                                        std::uint32_t milliseconds) {
    std::vector<Event*> events(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        events[i] = As<Event>(handles[i]);
        if (!events[i]) {
            Fail(EBADF);
            return kWaitFailed;
        }
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        for (std::uint32_t i = 0; i < count; ++i)
            if (events[i]->IsSet()) return kWaitObject0 + i;

        std::vector<pollfd> fds;
        for (Event* event : events) fds.push_back({event->fd, POLLIN, 0});
        std::vector<Device*> watched;
        {
            std::lock_guard lock(g_devicesMutex);
            for (Device* device : g_devices) {
                Event* armed = device->armed;
                if (armed && std::find(events.begin(), events.end(), armed) != events.end()) {
                    watched.push_back(device);
                    fds.push_back({device->fd, POLLIN, 0});
                }
            }
        }
        int timeout = -1;
        if (milliseconds != kInfinite) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            Fail(errno);
            return kWaitFailed;
        }
        if (ready == 0 && milliseconds != kInfinite) {
            for (std::uint32_t i = 0; i < count; ++i)
                if (events[i]->IsSet()) return kWaitObject0 + i;
            return kWaitTimeout;
        }
        for (std::size_t k = 0; k < watched.size(); ++k) {
            const short revents = fds[count + k].revents;
            if (revents == 0) continue;
            Device* device = watched[k];
            if ((revents & (POLLHUP | POLLERR | POLLNVAL)) && QueuedBytes(device->fd) <= 0)
                device->lost = true;
            std::lock_guard lock(g_devicesMutex);
            if (Event* armed = device->armed.exchange(nullptr)) armed->Set();
        }
    }
}

std::uint32_t PosixCommPlatform::WaitForSingleObject(CommHandle handle,
                                                     std::uint32_t milliseconds) {
    return WaitForMultipleObjects(1, &handle, 0, milliseconds);
}

LRESULT PosixCommPlatform::SendMessageW(OwnerHandle owner, UINT message, WPARAM wParam,
                                        LPARAM lParam) {
    return OwnerMailbox::Send(owner, message, wParam, lParam);
}

BOOL PosixCommPlatform::PeekMessageW(OwnerHandle owner) {
    if (OwnerMailbox::Peek(owner)) return 1;
    // Close polls this in a loop while the worker ends; an empty pass gives
    // the processor away as Windows' PeekMessage does.
    std::this_thread::yield();
    return 0;
}

BOOL PosixCommPlatform::CloseHandle(CommHandle handle) {
    if (handle == kNullHandle || handle == kInvalidHandle) return Fail(EBADF);
    Object* object = reinterpret_cast<Object*>(handle);
    if (auto* device = dynamic_cast<Device*>(object)) {
        std::lock_guard lock(g_devicesMutex);
        g_devices.erase(std::remove(g_devices.begin(), g_devices.end(), device), g_devices.end());
    }
    if (auto* thread = dynamic_cast<Thread*>(object)) {
        if (thread->thread.joinable()) thread->thread.join();
    }
    delete object;
    return 1;
}

CommHandle PosixCommPlatform::CreateThread(ThreadEntry entry, void* parameter) {
    auto* thread = new Thread;
    try {
        thread->thread = std::thread([entry, parameter] { entry(parameter); });
    } catch (const std::system_error& error) {
        delete thread;
        Fail(error.code().value());
        return kNullHandle;
    }
    return ToHandle(thread);
}

std::uint32_t PosixCommPlatform::GetLastError() {
    return t_lastError;
}

std::string PosixCommPlatform::FormatMessageW(std::uint32_t code) {
    char buffer[256];
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return text ? text : "";
}

int PosixCommPlatform::MessageBoxW(const std::string& text, const std::string& caption,
                                   std::uint32_t type) {
    return ShowBox(text, caption, type);
}

int PosixCommPlatform::AfxMessageBox(const std::string& text, std::uint32_t type) {
    return ShowBox(text, ProgramTitle(), type);
}

PosixCommPlatform& PosixPlatform() {
    static PosixCommPlatform platform;
    return platform;
}

CommPlatform& DefaultCommPlatform() {
    return PosixPlatform();
}
