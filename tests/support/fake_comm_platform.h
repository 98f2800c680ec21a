#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "serial/comm_posix.h"

// The real POSIX backend with a hand on it: every call goes through to the
// backend, the operations that can fail are recorded and can be made to
// fail, boxes are recorded instead of shown, and the system's text is fixed.
// The few hooks below do what a real line cannot do on demand.
class FakeCommPlatform : public PosixCommPlatform {
public:
    using Real = PosixCommPlatform;
    enum class Op {
        CreateEvent,
        CreateFile,
        SetCommTimeouts,
        SetCommMask,
        GetCommState,
        BuildCommDCB,
        SetCommState,
        PurgeComm,
        WaitCommEvent,
        ReadFile,
        WriteFile,
        GetOverlappedResult,
        WaitForMultipleObjects,
        WaitForSingleObject,
        CreateThread
    };
    // An operation and its count or flags.
    using Call = std::pair<Op, std::uint32_t>;

    // Thread handles whose close was deferred are closed (joined) now.
    ~FakeCommPlatform() override {
        for (CommHandle thread : m_deferred) Real::CloseHandle(thread);
    }

    // The next `times` calls of `op` fail with `error` (-1: every call).
    void Fail(Op op, std::uint32_t error, int times = 1) {
        std::lock_guard lock(m_mutex);
        m_failures[static_cast<int>(op)] = {error, times};
    }
    std::vector<Call> Calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    int Count(Op op) const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::ranges::count(m_calls, op, &Call::first));
    }
    // Each box shown, as "caption|text|type".
    std::vector<std::string> Boxes() const {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }
    // Events, devices and threads not yet released.
    int OpenHandles() const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_open.size());
    }

    // --- hooks ---
    // The next line waits complete at once, with nothing to read.
    std::atomic<int> lineWaitsAtOnce{0};
    // The next reads succeed without taking a byte.
    std::atomic<int> emptyReads{0};
    // Reads and writes go pending and finish in GetOverlappedResult.
    std::atomic<bool> transfersPending{false};
    // Closing a thread handle leaves the thread running, as on Windows.
    std::atomic<bool> closeThreadsWithoutWaiting{false};
    // Runs inside each WriteFile, on the worker, before the bytes go out.
    std::function<void()> onWrite;
    // What FormatMessageW gives for every code; empty: the system has none.
    std::string systemText = "The device does not answer.";

    // --- observations (the open runs on the test's thread) ---
    CommTimeouts timeouts;
    CommSettings stateWritten;
    std::atomic<int> liveThreads{0};

    // --- CommPlatform ---
    // A lock left that this thread did not take shows as a box.
    void EnterCriticalSection(CommHandle lock) override {
        Real::EnterCriticalSection(lock);
        ++t_held;
    }
    void LeaveCriticalSection(CommHandle lock) override {
        if (t_held-- <= 0) MessageBoxW("a lock left that was not taken", "", 0);
        Real::LeaveCriticalSection(lock);
    }
    CommHandle CreateEventW() override {
        return Enter({Op::CreateEvent, 0}) ? kNullHandle : Held(Real::CreateEventW());
    }
    CommHandle CreateFileW(const std::string& name) override {
        return Enter({Op::CreateFile, 0}) ? kInvalidHandle : Held(Real::CreateFileW(name));
    }
    BOOL SetCommTimeouts(CommHandle device, const CommTimeouts& t) override {
        timeouts = t;
        return !Enter({Op::SetCommTimeouts, 0}) && Real::SetCommTimeouts(device, t);
    }
    BOOL SetCommMask(CommHandle device, std::uint32_t mask) override {
        return !Enter({Op::SetCommMask, mask}) && Real::SetCommMask(device, mask);
    }
    BOOL GetCommState(CommHandle device, CommSettings& settings) override {
        return !Enter({Op::GetCommState, 0}) && Real::GetCommState(device, settings);
    }
    BOOL BuildCommDCBW(const std::string& text, CommSettings& settings) override {
        return !Enter({Op::BuildCommDCB, 0}) && Real::BuildCommDCBW(text, settings);
    }
    BOOL SetCommState(CommHandle device, const CommSettings& settings) override {
        stateWritten = settings;
        return !Enter({Op::SetCommState, 0}) && Real::SetCommState(device, settings);
    }
    BOOL PurgeComm(CommHandle device, std::uint32_t flags) override {
        return !Enter({Op::PurgeComm, flags}) && Real::PurgeComm(device, flags);
    }
    BOOL WaitCommEvent(CommHandle device, std::uint32_t* events, Overlapped* ov) override {
        if (Enter({Op::WaitCommEvent, 0})) return 0;
        if (lineWaitsAtOnce > 0 && lineWaitsAtOnce-- > 0) {
            *events = kEvRxChar;
            return Real::SetEvent(ov->hEvent);
        }
        return Real::WaitCommEvent(device, events, ov);
    }
    BOOL ReadFile(CommHandle device, void* data, std::uint32_t count, std::uint32_t* done,
                  Overlapped* ov) override {
        if (Enter({Op::ReadFile, count})) return 0;
        if (emptyReads > 0 && emptyReads-- > 0) return Finish((*done = 0, 1), done);
        return Finish(Real::ReadFile(device, data, count, done, ov), done);
    }
    BOOL WriteFile(CommHandle device, const void* data, std::uint32_t count, std::uint32_t* done,
                   Overlapped* ov) override {
        if (Enter({Op::WriteFile, count})) return 0;
        if (onWrite) onWrite();
        return Finish(Real::WriteFile(device, data, count, done, ov), done);
    }
    BOOL GetOverlappedResult(CommHandle, Overlapped*, std::uint32_t* done, BOOL) override {
        if (Enter({Op::GetOverlappedResult, 0})) return 0;
        *done = m_pendingDone;
        return 1;
    }
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const CommHandle* handles, BOOL all,
                                         std::uint32_t milliseconds) override {
        if (Enter({Op::WaitForMultipleObjects, count})) return kWaitFailed;
        return Real::WaitForMultipleObjects(count, handles, all, milliseconds);
    }
    std::uint32_t WaitForSingleObject(CommHandle handle, std::uint32_t milliseconds) override {
        // Not through the override above: this wait is recorded on its own.
        if (Enter({Op::WaitForSingleObject, 0})) return kWaitFailed;
        return Real::WaitForMultipleObjects(1, &handle, 0, milliseconds);
    }
    BOOL CloseHandle(CommHandle handle) override {
        std::unique_lock lock(m_mutex);
        const bool defer =
            m_open.erase(handle) && m_threads.erase(handle) && closeThreadsWithoutWaiting;
        if (defer) m_deferred.push_back(handle);
        lock.unlock();
        return defer || Real::CloseHandle(handle);
    }
    CommHandle CreateThread(ThreadEntry entry, void* parameter) override {
        if (Enter({Op::CreateThread, 0})) return kNullHandle;
        ++liveThreads;
        const CommHandle thread = Held(Real::CreateThread(&Run, new Start(this, entry, parameter)));
        std::lock_guard lock(m_mutex);
        return *m_threads.insert(thread).first;
    }
    std::uint32_t GetLastError() override { return t_injected ? t_injected : Real::GetLastError(); }
    std::string FormatMessageW(std::uint32_t) override { return systemText; }
    int MessageBoxW(const std::string& text, const std::string& caption,
                    std::uint32_t type) override {
        std::lock_guard lock(m_mutex);
        m_boxes.push_back(caption + "|" + text + "|" + std::to_string(type));
        return 1;
    }
    int AfxMessageBox(const std::string& text, std::uint32_t type) override {
        return MessageBoxW(text, "", type);
    }

private:
    using Start = std::tuple<FakeCommPlatform*, ThreadEntry, void*>;
    // Counts the worker's end.
    static std::uint32_t Run(void* start) {
        const auto [self, entry, parameter] = *std::unique_ptr<Start>(static_cast<Start*>(start));
        entry(parameter);
        --self->liveThreads;
        return 0;
    }
    // Records the call; a call made to fail sets the thread's last error
    // and returns true.
    bool Enter(Call call) {
        std::lock_guard lock(m_mutex);
        t_injected = 0;
        m_calls.push_back(call);
        auto& [error, times] = m_failures[static_cast<int>(call.first)];
        if (times == 0) return false;
        if (times > 0) --times;
        t_injected = error;
        return true;
    }
    // A transfer done now, or reported pending with its count kept for
    // GetOverlappedResult.
    BOOL Finish(BOOL done, std::uint32_t* count) {
        if (!done || !transfersPending) return done;
        m_pendingDone = *count;
        t_injected = kErrorIoPending;
        return 0;
    }
    CommHandle Held(CommHandle handle) {
        std::lock_guard lock(m_mutex);
        if (handle != kNullHandle && handle != kInvalidHandle) m_open.insert(handle);
        return handle;
    }
    static inline thread_local std::uint32_t t_injected = 0;
    static inline thread_local int t_held = 0;
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
    std::map<int, std::pair<std::uint32_t, int>> m_failures;
    std::set<CommHandle> m_open, m_threads;
    std::vector<CommHandle> m_deferred;
    std::uint32_t m_pendingDone = 0;
    std::vector<std::string> m_boxes;
};
