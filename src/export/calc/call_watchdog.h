#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Bounds blocking calls into another process: when a call is not over by
// its deadline, the watchdog runs the expiry action (which breaks the
// connection, so the call returns with an error) on a thread of its own.
class CallWatchdog {
public:
    using Clock = std::chrono::steady_clock;

    CallWatchdog() = default;
    ~CallWatchdog();
    CallWatchdog(const CallWatchdog&) = delete;
    CallWatchdog& operator=(const CallWatchdog&) = delete;

    void Arm(Clock::time_point deadline, std::function<void()> onExpiry);
    // Once this returns, no expiry of the disarmed call acts any more: one
    // already under way is waited for.
    void Disarm();
    // Whether the last armed deadline passed before it was disarmed.
    bool Expired() const;

private:
    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
    bool m_armed = false;
    bool m_expired = false;
    bool m_quit = false;
    bool m_firing = false;
    Clock::time_point m_deadline;
    std::function<void()> m_onExpiry;
};

// Arms a watchdog for one scope.
class WatchdogScope {
public:
    WatchdogScope(CallWatchdog& dog, std::chrono::milliseconds limit,
                  std::function<void()> onExpiry)
        : m_dog(dog) {
        m_dog.Arm(CallWatchdog::Clock::now() + limit, std::move(onExpiry));
    }
    ~WatchdogScope() { m_dog.Disarm(); }
    WatchdogScope(const WatchdogScope&) = delete;
    WatchdogScope& operator=(const WatchdogScope&) = delete;

private:
    CallWatchdog& m_dog;
};
