#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/comm_platform.h"

// A scriptable stand-in for the serial platform: a fake device that is given
// incoming bytes and records what is written, real blocking events and
// threads, owner messaging through OwnerMailbox, recorded boxes, and failure
// injection for the operations that can fail.
class FakeCommPlatform : public CommPlatform {
public:
    // The operations recorded, and open to scripted failure.
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
    struct Call {
        Op op;
        std::string text = {};
        std::uint32_t value = 0;
    };
    // A device that comes up at another speed with flow control on, so that
    // tests can tell what the port changed and what it kept.
    static constexpr CommSettings kInitialSettings{.BaudRate = 1200,
                                                   .fOutxCtsFlow = 1,
                                                   .ByteSize = 7,
                                                   .Parity = kEvenParity,
                                                   .StopBits = kTwoStopBits,
                                                   .XonChar = 0x11};

    ~FakeCommPlatform() override {
        std::vector<std::unique_ptr<std::thread>> threads;
        Locked([&] {
            threads.swap(m_closedThreads);
            for (auto& [handle, object] : m_objects)
                if (object.thread) threads.push_back(std::move(object.thread));
        });
        for (auto& thread : threads) thread->join();
    }

    // --- the fake device ---
    // Bytes that arrive on the line; wakes a pending line-event wait.
    void Incoming(const std::vector<std::uint8_t>& bytes) {
        std::lock_guard lock(m_mutex);
        m_input.insert(m_input.end(), bytes.begin(), bytes.end());
        if (Object* event = Find(m_armedLineEvent, Kind::Event)) event->set = true;
        m_armedLineEvent = kNullHandle;
        m_changed.notify_all();
    }
    std::size_t InputWaiting() const { return Get(&FakeCommPlatform::m_input).size(); }
    // Every write, in order.
    std::vector<std::vector<std::uint8_t>> Writes() const {
        return Get(&FakeCommPlatform::m_writes);
    }
    bool WaitForWrites(std::size_t count, std::chrono::milliseconds limit) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_writes.size() >= count; });
    }

    // --- scripting ---
    // The next `times` calls of `op` fail with `error` (-1: every call).
    void Fail(Op op, std::uint32_t error, int times = 1) {
        Locked([&] { m_failures[op] = {error, times}; });
    }
    // The next line-event waits complete at once (TRUE).
    void CompleteLineWaitAtOnce(int times) { Set(&FakeCommPlatform::m_immediateLineWaits, times); }
    // Reads and writes go pending and finish in GetOverlappedResult.
    void SetTransfersPending(bool pending) { Set(&FakeCommPlatform::m_pending, pending); }
    // The next reads succeed without taking a byte, input waiting or not.
    void ReadNothing(int times) { Set(&FakeCommPlatform::m_emptyReads, times); }
    // Closing a thread handle leaves the thread running, as on Windows.
    void CloseThreadsWithoutWaiting() { Set(&FakeCommPlatform::m_closeWaits, false); }
    // Runs inside each WriteFile, before the bytes are taken, on the worker.
    std::function<void()> onWrite;
    // Replaces OwnerMailbox delivery when set.
    std::function<LRESULT(OwnerHandle, UINT, WPARAM, LPARAM)> onSend;
    // The text FormatMessageW gives for every code; empty: the system has none.
    void SetSystemText(std::string text) { Set(&FakeCommPlatform::m_systemText, text); }

    // --- observations ---
    std::vector<Call> Calls() const { return Get(&FakeCommPlatform::m_calls); }
    std::vector<Call> CallsOf(Op op) const {
        std::vector<Call> of = Calls();
        std::erase_if(of, [&](const Call& call) { return call.op != op; });
        return of;
    }
    int Count(Op op) const { return static_cast<int>(CallsOf(op).size()); }
    // Each box shown, as "caption|text|type".
    std::vector<std::string> Boxes() const { return Get(&FakeCommPlatform::m_boxes); }
    bool LockHeld() const {
        return CountOf([](const Object& o) { return o.held; }) > 0;
    }
    int OpenDevices() const {
        return CountOf([](const Object& o) { return o.kind == Kind::Device; });
    }
    // Events, locks, devices and threads not yet closed.
    int OpenHandles() const {
        return CountOf([](const Object&) { return true; });
    }
    int LiveThreads() const { return Get(&FakeCommPlatform::m_liveThreads); }
    std::uint32_t LastExitCode() const { return Get(&FakeCommPlatform::m_lastExitCode); }
    // The settings as last written with SetCommState.
    CommSettings AppliedSettings() const { return Get(&FakeCommPlatform::m_applied); }
    CommTimeouts AppliedTimeouts() const { return Get(&FakeCommPlatform::m_timeouts); }

    // --- CommPlatform ---
    CommHandle CreateEventW() override {
        CommHandle event = kNullHandle;
        Do({Op::CreateEvent}, [&] { event = NewHandle(Kind::Event); });
        return event;
    }
    BOOL SetEvent(CommHandle event) override { return SetFlag(event, true); }
    BOOL ResetEvent(CommHandle event) override { return SetFlag(event, false); }
    CommHandle InitializeCriticalSection() override {
        return Locked([&] { return NewHandle(Kind::Lock); });
    }
    void EnterCriticalSection(CommHandle lock) override {
        std::unique_lock guard(m_mutex);
        m_changed.wait(guard, [&] {
            Object* object = Find(lock, Kind::Lock);
            return !object || !object->held;
        });
        if (Object* object = Find(lock, Kind::Lock)) object->held = true;
    }
    void LeaveCriticalSection(CommHandle lock) override {
        Locked([&] {
            if (Object* object = Find(lock, Kind::Lock)) object->held = false;
            m_changed.notify_all();
        });
    }
    void DeleteCriticalSection(CommHandle lock) override {
        Locked([&] { m_objects.erase(lock); });
    }
    CommHandle CreateFileW(const std::string& deviceName) override {
        CommHandle device = kInvalidHandle;
        Do({Op::CreateFile, deviceName}, [&] { device = NewHandle(Kind::Device); });
        return device;
    }
    BOOL SetCommTimeouts(CommHandle, const CommTimeouts& timeouts) override {
        return Do({Op::SetCommTimeouts}, [&] { m_timeouts = timeouts; });
    }
    BOOL SetCommMask(CommHandle, std::uint32_t mask) override {
        return Do({Op::SetCommMask, "", mask}, [&] { m_mask = mask; });
    }
    BOOL GetCommState(CommHandle, CommSettings& settings) override {
        return Do({Op::GetCommState}, [&] { settings = kInitialSettings; });
    }
    // Takes the speed from the text; the rest of the settings stay as they were.
    BOOL BuildCommDCBW(const std::string& text, CommSettings& settings) override {
        return Do({Op::BuildCommDCB, text},
                  [&] { std::sscanf(text.c_str(), "baud=%u", &settings.BaudRate); });
    }
    BOOL SetCommState(CommHandle, const CommSettings& settings) override {
        return Do({Op::SetCommState}, [&] { m_applied = settings; });
    }
    BOOL PurgeComm(CommHandle, std::uint32_t flags) override {
        return Do({Op::PurgeComm, "", flags}, [&] {
            if (flags & kPurgeRxClear) m_input.clear();
        });
    }
    BOOL WaitCommEvent(CommHandle, std::uint32_t* events, Overlapped* overlapped) override {
        if (Enter({Op::WaitCommEvent})) return 0;
        std::lock_guard lock(m_mutex);
        *events = 0;
        Object* line = Find(overlapped->hEvent, Kind::Event);
        if (line) line->set = false;
        if (m_immediateLineWaits > 0) {
            --m_immediateLineWaits;
            if (line) line->set = true;
            *events = kEvRxChar;
            return 1;
        }
        t_lastError = kErrorIoPending;
        if (m_input.empty())
            m_armedLineEvent = overlapped->hEvent;
        else if (line)
            line->set = true;
        return 0;
    }
    BOOL ClearCommError(CommHandle, std::uint32_t* errors, CommStatus* status) override {
        *errors = 0;
        status->cbInQue = static_cast<std::uint32_t>(InputWaiting());
        return 1;
    }
    BOOL GetCommMask(CommHandle, std::uint32_t* mask) override {
        *mask = Locked([&] { return m_mask; });
        return 1;
    }
    BOOL ReadFile(CommHandle, void* data, std::uint32_t count, std::uint32_t* done,
                  Overlapped*) override {
        if (Enter({Op::ReadFile, "", count})) return 0;
        std::lock_guard lock(m_mutex);
        std::uint32_t n = 0;
        if (m_emptyReads > 0) {
            --m_emptyReads;
            count = 0;
        }
        for (auto* out = static_cast<std::uint8_t*>(data); n < count && !m_input.empty(); ++n) {
            out[n] = m_input.front();
            m_input.pop_front();
        }
        return Transferred(n, done);
    }
    BOOL WriteFile(CommHandle, const void* data, std::uint32_t count, std::uint32_t* done,
                   Overlapped*) override {
        if (Enter({Op::WriteFile, "", count})) return 0;
        if (onWrite) onWrite();
        std::lock_guard lock(m_mutex);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        m_writes.emplace_back(bytes, bytes + count);
        m_changed.notify_all();
        return Transferred(count, done);
    }
    BOOL GetOverlappedResult(CommHandle, Overlapped*, std::uint32_t* done, BOOL) override {
        return Do({Op::GetOverlappedResult}, [&] { *done = m_pendingDone; });
    }
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const CommHandle* handles, BOOL,
                                         std::uint32_t milliseconds) override {
        if (Enter({Op::WaitForMultipleObjects, "", count})) return kWaitFailed;
        return WaitFor(count, handles, milliseconds);
    }
    std::uint32_t WaitForSingleObject(CommHandle handle, std::uint32_t milliseconds) override {
        if (!Do({Op::WaitForSingleObject}, [] {})) return kWaitFailed;
        return WaitFor(1, &handle, milliseconds);
    }
    LRESULT SendMessageW(OwnerHandle owner, UINT message, WPARAM wParam, LPARAM lParam) override {
        return onSend ? onSend(owner, message, wParam, lParam)
                      : OwnerMailbox::Send(owner, message, wParam, lParam);
    }
    BOOL PeekMessageW(OwnerHandle owner) override {
        if (OwnerMailbox::Peek(owner)) return 1;
        std::this_thread::yield();
        return 0;
    }
    BOOL CloseHandle(CommHandle handle) override {
        std::unique_ptr<std::thread> thread;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_objects.find(handle);
            if (it == m_objects.end()) return 0;
            thread = std::move(it->second.thread);
            if (m_armedLineEvent == handle) m_armedLineEvent = kNullHandle;
            m_objects.erase(it);
            if (thread && !m_closeWaits) m_closedThreads.push_back(std::move(thread));
        }
        if (thread && thread->joinable()) thread->join();
        return 1;
    }
    CommHandle CreateThread(ThreadEntry entry, void* parameter) override {
        if (Enter({Op::CreateThread})) return kNullHandle;
        std::lock_guard lock(m_mutex);
        const CommHandle handle = NewHandle(Kind::Thread);
        ++m_liveThreads;
        m_objects[handle].thread = std::make_unique<std::thread>([this, entry, parameter] {
            const std::uint32_t code = entry(parameter);
            std::lock_guard inner(m_mutex);
            m_lastExitCode = code;
            --m_liveThreads;
            m_changed.notify_all();
        });
        return handle;
    }
    std::uint32_t GetLastError() override { return t_lastError; }
    std::string FormatMessageW(std::uint32_t) override {
        return Get(&FakeCommPlatform::m_systemText);
    }
    int MessageBoxW(const std::string& text, const std::string& caption,
                    std::uint32_t type) override {
        Locked([&] { m_boxes.push_back(caption + "|" + text + "|" + std::to_string(type)); });
        return 1;
    }
    int AfxMessageBox(const std::string& text, std::uint32_t type) override {
        return MessageBoxW(text, "", type);
    }

private:
    enum class Kind { Event, Lock, Device, Thread };
    struct Object {
        Kind kind;
        bool set = false;                     // event
        bool held = false;                    // lock
        std::unique_ptr<std::thread> thread;  // thread
    };

    template <typename T>
    T Get(T FakeCommPlatform::*member) const {
        std::lock_guard lock(m_mutex);
        return this->*member;
    }
    template <typename T>
    void Set(T FakeCommPlatform::*member, T value) {
        std::lock_guard lock(m_mutex);
        this->*member = std::move(value);
    }
    template <typename F>
    auto Locked(F f) const -> decltype(f()) {
        std::lock_guard lock(m_mutex);
        return f();
    }
    // Records the call; a call scripted to fail sets the thread's last error
    // and returns true.
    bool Enter(Call call) {
        std::lock_guard lock(m_mutex);
        auto it = m_failures.find(call.op);
        m_calls.push_back(std::move(call));
        if (it == m_failures.end() || it->second.second == 0) return false;
        if (it->second.second > 0) --it->second.second;
        t_lastError = it->second.first;
        return true;
    }
    // Unless the call was scripted to fail, runs `body` under the lock. Tells
    // whether it ran.
    template <typename F>
    bool Do(Call call, F body) {
        if (Enter(std::move(call))) return false;
        Locked(body);
        return true;
    }
    // Under the lock: a transfer of `n` bytes done now, or left pending.
    BOOL Transferred(std::uint32_t n, std::uint32_t* done) {
        (m_pending ? m_pendingDone : *done) = n;
        if (m_pending) t_lastError = kErrorIoPending;
        return !m_pending;
    }
    BOOL SetFlag(CommHandle event, bool set) {
        std::lock_guard lock(m_mutex);
        Object* object = Find(event, Kind::Event);
        if (object) object->set = set;
        m_changed.notify_all();
        return object != nullptr;
    }
    int CountOf(bool (*which)(const Object&)) const {
        return Locked([&] {
            return static_cast<int>(std::count_if(m_objects.begin(), m_objects.end(),
                                                  [&](const auto& e) { return which(e.second); }));
        });
    }
    CommHandle NewHandle(Kind kind) {
        m_objects[m_next].kind = kind;
        return m_next++;
    }
    Object* Find(CommHandle handle, Kind kind) {
        auto it = m_objects.find(handle);
        return it != m_objects.end() && it->second.kind == kind ? &it->second : nullptr;
    }
    std::uint32_t WaitFor(std::uint32_t count, const CommHandle* handles,
                          std::uint32_t milliseconds) {
        std::unique_lock lock(m_mutex);
        std::uint32_t index = kWaitTimeout;
        auto ready = [&] {
            for (std::uint32_t i = 0; i < count; ++i) {
                Object* object = Find(handles[i], Kind::Event);
                if (object && object->set) return index = kWaitObject0 + i, true;
            }
            return false;
        };
        if (milliseconds == kInfinite)
            m_changed.wait(lock, ready);
        else
            m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
        return index;
    }

    static inline thread_local std::uint32_t t_lastError = 0;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::map<CommHandle, Object> m_objects;
    CommHandle m_next = 0x100;
    std::vector<Call> m_calls;
    std::map<Op, std::pair<std::uint32_t, int>> m_failures;
    std::deque<std::uint8_t> m_input;
    std::vector<std::vector<std::uint8_t>> m_writes;
    CommHandle m_armedLineEvent = kNullHandle;
    int m_immediateLineWaits = 0;
    bool m_pending = false;
    int m_emptyReads = 0;
    bool m_closeWaits = true;
    std::vector<std::unique_ptr<std::thread>> m_closedThreads;
    CommTimeouts m_timeouts;
    std::uint32_t m_pendingDone = 0;
    std::string m_systemText = "The device does not answer.";
    std::uint32_t m_mask = 0;
    CommSettings m_applied;
    std::vector<std::string> m_boxes;
    std::uint32_t m_lastExitCode = 0;
    int m_liveThreads = 0;
};
