#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "winapi/comm_types.h"

// Win32's kernel objects on POSIX, for the serial port's worker: objects
// behind opaque handles, manual-reset events that poll() can wait on,
// locks, threads, the multiple wait and the calling thread's last error.
namespace kernel {

struct Object {
    virtual ~Object() = default;
};

// A manual-reset event. Its eventfd is readable exactly while the event is
// set, so poll() can wait on it together with a device.
class Event : public Object {
public:
    ~Event() override;
    // False when no eventfd could be had (the error is the last error).
    bool Create();
    void Set();
    void Reset();
    bool IsSet();
    int Fd() const { return m_fd; }

private:
    std::mutex m_mutex;
    bool m_set = false;
    int m_fd = -1;
};

// A descriptor that a wait watches for whoever armed it with an event: once
// the descriptor turns readable (or hangs up), the wait calls Ready and sets
// the event. Registered while it lives.
class FdWatch : public Object {
public:
    ~FdWatch() override;
    void Arm(Event* event);
    // No wait watches it any more (also when it is destroyed).
    void Unregister();
    virtual int Fd() const = 0;

protected:
    // On the waiting thread, before the armed event is set.
    virtual void Ready(short revents) = 0;

private:
    friend std::uint32_t WaitForAny(std::uint32_t, const CommHandle*, std::uint32_t);
    std::atomic<Event*> m_armed{nullptr};
    bool m_registered = false;
};

template <typename T>
T* As(CommHandle handle) {
    if (handle == kNullHandle || handle == kInvalidHandle) return nullptr;
    return dynamic_cast<T*>(reinterpret_cast<Object*>(handle));
}
inline CommHandle ToHandle(Object* object) {
    return reinterpret_cast<CommHandle>(object);
}

// Records `error` (an errno value) as the thread's last error; returns 0,
// the FALSE of a failed call.
BOOL Fail(int error);
std::uint32_t LastError();
// The system's text for an error code; empty when it has none.
std::string ErrorText(std::uint32_t code);

CommHandle CreateEvent();
BOOL SetEvent(CommHandle event);
BOOL ResetEvent(CommHandle event);
CommHandle CreateLock();
void EnterLock(CommHandle lock);
void LeaveLock(CommHandle lock);
void DeleteLock(CommHandle lock);
CommHandle CreateThread(ThreadEntry entry, void* parameter);
// Releases any object; a thread is joined first.
BOOL CloseHandle(CommHandle handle);

// kWaitObject0 + the index of the lowest set event, kWaitTimeout or
// kWaitFailed; descriptors armed with one of the events are watched too.
std::uint32_t WaitForAny(std::uint32_t count, const CommHandle* events, std::uint32_t milliseconds);

}  // namespace kernel
