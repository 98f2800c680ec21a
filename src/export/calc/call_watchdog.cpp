#include "export/calc/call_watchdog.h"

#include "export/calc/sigpipe_guard.h"

CallWatchdog::~CallWatchdog() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CallWatchdog::Arm(Clock::time_point deadline, std::function<void()> onExpiry) {
    {
        std::lock_guard lock(m_mutex);
        m_armed = true;
        m_expired = false;
        m_deadline = deadline;
        m_onExpiry = std::move(onExpiry);
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_changed.notify_all();
}

void CallWatchdog::Disarm() {
    std::unique_lock lock(m_mutex);
    m_armed = false;
    m_onExpiry = nullptr;
    // An expiry taken just before would otherwise break the next call.
    m_changed.wait(lock, [this] { return !m_firing; });
}

bool CallWatchdog::Expired() const {
    std::lock_guard lock(m_mutex);
    return m_expired;
}

void CallWatchdog::Run() {
    // Breaking a connection may write to an office that is gone.
    SigpipeGuard::BlockForThisThread();
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_armed) {
            m_changed.wait(lock);
            continue;
        }
        if (m_changed.wait_until(lock, m_deadline) == std::cv_status::timeout && m_armed &&
            Clock::now() >= m_deadline) {
            std::function<void()> expiry = std::move(m_onExpiry);
            m_armed = false;
            m_expired = true;
            m_firing = true;
            lock.unlock();
            if (expiry) expiry();
            lock.lock();
            m_firing = false;
            m_changed.notify_all();
        }
    }
}
