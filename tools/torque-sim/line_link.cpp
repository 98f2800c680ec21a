#include "line_link.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace torque_sim {
namespace {

// One character on a 9600-baud line: start bit, eight data bits, stop bit.
constexpr auto kByteTime = std::chrono::nanoseconds(1'000'000'000LL * 10 / 9600);

void MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(fd, TCSANOW, &tio);
}

}  // namespace

int OpenPseudoTerminal(std::string& slavePath, int& slaveKeepAlive, std::string& error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) close(master);
        return -1;
    }
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        close(master);
        return -1;
    }
    slavePath = name;
    // Holding the other end open keeps the master readable across the host's
    // closes and reopens, and lets us put the line in raw mode before anyone
    // opens it (an echoing line would send our frames back to us).
    slaveKeepAlive = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeepAlive >= 0) MakeRaw(slaveKeepAlive);
    return master;
}

int OpenSerialDevice(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = path + " is not a serial device: " + std::strerror(errno);
        close(fd);
        return -1;
    }
    MakeRaw(fd);
    return fd;
}

LinkEnd ServeLine(int fd, Session& session, const LinkOptions& options) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);

    Bytes pending;  // bytes still to go out
    std::size_t sent = 0;
    Clock::time_point lineFree = Clock::now();  // when the next byte may go out

    for (;;) {
        if (options.stop && options.stop->load()) return LinkEnd::Stopped;
        if (session.HungUp()) return LinkEnd::HungUp;
        if (options.once && session.GetStats().uploadsCompleted > 0 && sent == pending.size())
            return LinkEnd::Completed;

        Bytes more = session.TakeOutput();
        if (!more.empty()) {
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(sent));
            sent = 0;
            pending.insert(pending.end(), more.begin(), more.end());
        }

        const Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> wake = session.Deadline();
        short events = POLLIN;
        if (sent < pending.size()) {
            if (!options.pace || now >= lineFree) {
                events |= POLLOUT;
            } else {
                wake = wake ? std::min(*wake, lineFree) : lineFree;
            }
        }
        // Wake at least every 100 ms so a stop request is noticed.
        const Clock::time_point limit = now + std::chrono::milliseconds(100);
        wake = wake ? std::min(*wake, limit) : limit;
        const auto wait = std::max(Clock::duration::zero(), *wake - now);
        timespec ts{};
        ts.tv_sec =
            static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(wait).count());
        ts.tv_nsec = static_cast<long>((wait - std::chrono::seconds(ts.tv_sec)).count() *
                                       Clock::period::num * 1'000'000'000LL / Clock::period::den);

        pollfd pfd{fd, events, 0};
        const int ready = ppoll(&pfd, 1, &ts, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return LinkEnd::LineFailed;
        }
        const Clock::time_point after = Clock::now();
        if (pfd.revents & POLLIN) {
            std::uint8_t buffer[256];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                if (options.pace) lineFree = std::max(lineFree, after) + kByteTime * n;
                session.Receive(buffer, static_cast<std::size_t>(n), after);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return LinkEnd::LineFailed;
            }
        } else if (pfd.revents & (POLLERR | POLLNVAL | POLLHUP)) {
            return LinkEnd::LineFailed;
        }
        if ((pfd.revents & POLLOUT) && sent < pending.size()) {
            const std::size_t chunk = options.pace ? 1 : pending.size() - sent;
            const ssize_t n = write(fd, pending.data() + sent, chunk);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                // Keep to the schedule across small scheduling delays rather
                // than letting each one add up.
                if (options.pace) lineFree = std::max(lineFree, after - kByteTime) + kByteTime * n;
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return LinkEnd::LineFailed;
            }
        }
        session.Tick(Clock::now());
    }
}

}  // namespace torque_sim
