#pragma once

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
// injection for every operation.
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
        SendMessage,
        PeekMessage,
        CreateThread
    };
    struct Call {
        Op op;
        std::string text = {};
        std::uint32_t value = 0;
    };
    struct Box {
        std::string text, caption;
        std::uint32_t type = 0;
    };

    FakeCommPlatform();
    ~FakeCommPlatform() override;

    // --- the fake device ---
    // Bytes that arrive on the line; wakes a pending line-event wait.
    void Incoming(const std::vector<std::uint8_t>& bytes);
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
    std::vector<Call> CallsOf(Op op) const;
    int Count(Op op) const { return static_cast<int>(CallsOf(op).size()); }
    std::vector<Box> Boxes() const { return Get(&FakeCommPlatform::m_boxes); }
    bool EventSet(CommHandle event) const {
        return Locked([&] { return m_objects.count(event) && m_objects.at(event).set; });
    }
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
    // The settings as the device came up, and as last written with SetCommState.
    CommSettings InitialSettings() const { return Get(&FakeCommPlatform::m_state); }
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
    void EnterCriticalSection(CommHandle lock) override;
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
        return Do({Op::GetCommState}, [&] { settings = m_state; });
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
    BOOL WaitCommEvent(CommHandle device, std::uint32_t* events, Overlapped* overlapped) override;
    BOOL ClearCommError(CommHandle, std::uint32_t* errors, CommStatus* status) override {
        *errors = 0;
        status->cbInQue = static_cast<std::uint32_t>(InputWaiting());
        return 1;
    }
    BOOL GetCommMask(CommHandle, std::uint32_t* mask) override {
        *mask = Locked([&] { return m_mask; });
        return 1;
    }
    BOOL ReadFile(CommHandle device, void* data, std::uint32_t count, std::uint32_t* done,
                  Overlapped* overlapped) override;
    BOOL WriteFile(CommHandle device, const void* data, std::uint32_t count, std::uint32_t* done,
                   Overlapped* overlapped) override;
    BOOL GetOverlappedResult(CommHandle, Overlapped*, std::uint32_t* done, BOOL) override {
        return Do({Op::GetOverlappedResult}, [&] { *done = m_pendingDone; });
    }
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const CommHandle* handles,
                                         BOOL waitAll, std::uint32_t milliseconds) override;
    std::uint32_t WaitForSingleObject(CommHandle handle, std::uint32_t milliseconds) override {
        if (!Do({Op::WaitForSingleObject}, [] {})) return kWaitFailed;
        return WaitFor(1, &handle, milliseconds);
    }
    LRESULT SendMessageW(OwnerHandle owner, UINT message, WPARAM wParam, LPARAM lParam) override {
        Do({Op::SendMessage, "", message}, [] {});
        return onSend ? onSend(owner, message, wParam, lParam)
                      : OwnerMailbox::Send(owner, message, wParam, lParam);
    }
    BOOL PeekMessageW(OwnerHandle owner) override;
    BOOL CloseHandle(CommHandle handle) override;
    CommHandle CreateThread(ThreadEntry entry, void* parameter) override;
    std::uint32_t GetLastError() override;
    std::string FormatMessageW(std::uint32_t) override {
        return Get(&FakeCommPlatform::m_systemText);
    }
    int MessageBoxW(const std::string& text, const std::string& caption,
                    std::uint32_t type) override {
        Locked([&] { m_boxes.push_back({text, caption, type}); });
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
    // Records the call; unless it was scripted to fail (which sets the
    // thread's last error), runs `body` under the lock. Tells whether it ran.
    template <typename F>
    bool Do(Call call, F body) {
        if (Enter(std::move(call))) return false;
        Locked(body);
        return true;
    }
    bool Enter(Call call);
    BOOL SetFlag(CommHandle event, bool set);
    int CountOf(bool (*which)(const Object&)) const;
    CommHandle NewHandle(Kind kind);
    std::uint32_t WaitFor(std::uint32_t count, const CommHandle* handles,
                          std::uint32_t milliseconds);
    Object* Find(CommHandle handle, Kind kind);

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
    CommSettings m_state;
    CommSettings m_applied;
    std::vector<Box> m_boxes;
    std::uint32_t m_lastExitCode = 0;
    int m_liveThreads = 0;
};
