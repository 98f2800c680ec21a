#include "winapi/kernel_posix.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <vector>

namespace kernel {
namespace {

thread_local std::uint32_t t_lastError = 0;

struct Lock : Object {
    std::mutex mutex;
};

struct Thread : Object {
    std::thread thread;
};

// Descriptors armed for a wait, for every multiple wait to watch.
std::mutex g_watchesMutex;
std::vector<FdWatch*> g_watches;

}  // namespace

Event::~Event() {
    if (m_fd >= 0) close(m_fd);
}

bool Event::Create() {
    m_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0) Fail(errno);
    return m_fd >= 0;
}

void Event::Set() {
    std::lock_guard lock(m_mutex);
    if (m_set) return;
    m_set = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_fd, &one, sizeof one);
}

void Event::Reset() {
    std::lock_guard lock(m_mutex);
    if (!m_set) return;
    m_set = false;
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = read(m_fd, &value, sizeof value);
}

bool Event::IsSet() {
    std::lock_guard lock(m_mutex);
    return m_set;
}

FdWatch::~FdWatch() {
    Unregister();
}

void FdWatch::Unregister() {
    std::lock_guard lock(g_watchesMutex);
    std::erase(g_watches, this);
    m_registered = false;
}

void FdWatch::Arm(Event* event) {
    std::lock_guard lock(g_watchesMutex);
    m_armed = event;
    if (!m_registered) g_watches.push_back(this);
    m_registered = true;
}

BOOL Fail(int error) {
    t_lastError = static_cast<std::uint32_t>(error);
    return 0;
}

std::uint32_t LastError() {
    return t_lastError;
}

std::string ErrorText(std::uint32_t code) {
    char buffer[256];
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return text ? text : "";
}

CommHandle CreateEvent() {
    auto* event = new Event;
    if (!event->Create()) {
        delete event;
        return kNullHandle;
    }
    return ToHandle(event);
}

BOOL SetEvent(CommHandle handle) {
    Event* event = As<Event>(handle);
    if (!event) return Fail(EBADF);
    event->Set();
    return 1;
}

BOOL ResetEvent(CommHandle handle) {
    Event* event = As<Event>(handle);
    if (!event) return Fail(EBADF);
    event->Reset();
    return 1;
}

CommHandle CreateLock() {
    return ToHandle(new Lock);
}

void EnterLock(CommHandle handle) {
    if (Lock* lock = As<Lock>(handle)) lock->mutex.lock();
}

void LeaveLock(CommHandle handle) {
    if (Lock* lock = As<Lock>(handle)) lock->mutex.unlock();
}

void DeleteLock(CommHandle handle) {
    delete As<Lock>(handle);
}

CommHandle CreateThread(ThreadEntry entry, void* parameter) {
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

BOOL CloseHandle(CommHandle handle) {
    if (handle == kNullHandle || handle == kInvalidHandle) return Fail(EBADF);
    Object* object = reinterpret_cast<Object*>(handle);
    // Out of every wait's sight before its descriptor closes.
    if (auto* watch = dynamic_cast<FdWatch*>(object)) watch->Unregister();
    if (auto* thread = dynamic_cast<Thread*>(object)) {
        if (thread->thread.joinable()) thread->thread.join();
    }
    delete object;
    return 1;
}

std::uint32_t WaitForAny(std::uint32_t count, const CommHandle* handles,
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
        for (Event* event : events) fds.push_back({event->Fd(), POLLIN, 0});
        std::vector<FdWatch*> watched;
        {
            std::lock_guard lock(g_watchesMutex);
            for (FdWatch* watch : g_watches) {
                Event* armed = watch->m_armed;
                if (armed && std::find(events.begin(), events.end(), armed) != events.end()) {
                    watched.push_back(watch);
                    fds.push_back({watch->Fd(), POLLIN, 0});
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
            watched[k]->Ready(revents);
            std::lock_guard lock(g_watchesMutex);
            if (Event* armed = watched[k]->m_armed.exchange(nullptr)) armed->Set();
        }
    }
}

}  // namespace kernel
