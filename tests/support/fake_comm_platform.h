#pragma once

#include <condition_variable>
#include <cstdint>
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
    enum class Op {
        CreateEvent,
        SetEvent,
        ResetEvent,
        InitLock,
        EnterLock,
        LeaveLock,
        DeleteLock,
        CreateFile,
        SetCommTimeouts,
        SetCommMask,
        GetCommState,
        BuildCommDCB,
        SetCommState,
        PurgeComm,
        WaitCommEvent,
        ClearCommError,
        GetCommMask,
        ReadFile,
        WriteFile,
        GetOverlappedResult,
        WaitForMultipleObjects,
        WaitForSingleObject,
        SendMessage,
        PeekMessage,
        CloseHandle,
        CreateThread,
        MessageBox,
        AfxMessageBox,
    };
    struct Call {
        Op op;
        CommHandle handle = kNullHandle;
        std::string text;
        std::uint32_t value = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };
    struct Box {
        std::string text;
        std::string caption;
        std::uint32_t type = 0;
    };

    FakeCommPlatform();
    ~FakeCommPlatform() override;

    // --- the fake device ---
    // Bytes that arrive on the line; wakes a pending line-event wait.
    void Incoming(const std::vector<std::uint8_t>& bytes);
    std::size_t InputWaiting() const;
    // Every write, in order, and all written bytes run together.
    std::vector<std::vector<std::uint8_t>> Writes() const;
    std::vector<std::uint8_t> Written() const;
    // Blocks until `count` writes were made or the time runs out.
    bool WaitForWrites(std::size_t count, std::chrono::milliseconds limit) const;

    // --- scripting ---
    // The next `times` calls of `op` fail with `error` (-1: every call).
    void Fail(Op op, std::uint32_t error, int times = 1);
    // The next line-event waits complete at once (TRUE), one per entry.
    void CompleteLineWaitAtOnce(int times);
    // The next three-way waits return these results instead of waiting.
    void ScriptWaitResults(const std::vector<std::uint32_t>& results);
    // Reads and writes go pending (997) and finish in GetOverlappedResult.
    void SetTransfersPending(bool pending);
    // The text FormatMessageW gives for every code; empty: the system has none.
    void SetSystemText(std::string text);
    // Called on the box's thread before a box returns (to block it, etc.).
    std::function<void(const Box&)> onBox;
    // Replaces OwnerMailbox delivery when set.
    std::function<LRESULT(OwnerHandle, UINT, WPARAM, LPARAM)> onSend;

    // --- observations ---
    std::vector<Call> Calls() const;
    std::vector<Call> CallsOf(Op op) const;
    int Count(Op op) const;
    std::vector<Box> Boxes() const;
    bool EventSet(CommHandle event) const;
    bool LockHeld() const;
    int OpenDevices() const;
    // Events, locks, devices and threads not yet closed.
    int OpenHandles() const;
    int LiveThreads() const;
    std::uint32_t LastExitCode() const;
    // The settings last written with SetCommState.
    CommSettings AppliedSettings() const;

    // --- CommPlatform ---
    CommHandle CreateEventW() override;
    BOOL SetEvent(CommHandle event) override;
    BOOL ResetEvent(CommHandle event) override;
    CommHandle InitializeCriticalSection() override;
    void EnterCriticalSection(CommHandle lock) override;
    void LeaveCriticalSection(CommHandle lock) override;
    void DeleteCriticalSection(CommHandle lock) override;
    CommHandle CreateFileW(const std::string& deviceName) override;
    BOOL SetCommTimeouts(CommHandle device, const CommTimeouts& timeouts) override;
    BOOL SetCommMask(CommHandle device, std::uint32_t mask) override;
    BOOL GetCommState(CommHandle device, CommSettings& settings) override;
    BOOL BuildCommDCBW(const std::string& text, CommSettings& settings) override;
    BOOL SetCommState(CommHandle device, const CommSettings& settings) override;
    BOOL PurgeComm(CommHandle device, std::uint32_t flags) override;
    BOOL WaitCommEvent(CommHandle device, std::uint32_t* events, Overlapped* overlapped) override;
    BOOL ClearCommError(CommHandle device, std::uint32_t* errors, CommStatus* status) override;
    BOOL GetCommMask(CommHandle device, std::uint32_t* mask) override;
    BOOL ReadFile(CommHandle device, void* data, std::uint32_t count, std::uint32_t* done,
                  Overlapped* overlapped) override;
    BOOL WriteFile(CommHandle device, const void* data, std::uint32_t count, std::uint32_t* done,
                   Overlapped* overlapped) override;
    BOOL GetOverlappedResult(CommHandle device, Overlapped* overlapped, std::uint32_t* done,
                             BOOL wait) override;
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const CommHandle* handles,
                                         BOOL waitAll, std::uint32_t milliseconds) override;
    std::uint32_t WaitForSingleObject(CommHandle handle, std::uint32_t milliseconds) override;
    LRESULT SendMessageW(OwnerHandle owner, UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL PeekMessageW(OwnerHandle owner) override;
    BOOL CloseHandle(CommHandle handle) override;
    CommHandle CreateThread(ThreadEntry entry, void* parameter) override;
    std::uint32_t GetLastError() override;
    std::string FormatMessageW(std::uint32_t code) override;
    int MessageBoxW(const std::string& text, const std::string& caption,
                    std::uint32_t type) override;
    int AfxMessageBox(const std::string& text, std::uint32_t type) override;

private:
    enum class Kind { Event, Lock, Device, Thread };
    struct Object {
        Kind kind;
        bool set = false;                     // event
        bool held = false;                    // lock
        std::unique_ptr<std::thread> thread;  // thread
    };

    // Records the call and tells whether it was scripted to fail (setting
    // the thread's last error). Takes m_mutex itself.
    bool Enter(Op op, CommHandle handle = kNullHandle, std::string text = {},
               std::uint32_t value = 0, WPARAM w = 0, LPARAM l = 0);
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
    std::deque<std::uint32_t> m_waitResults;
    bool m_pending = false;
    std::uint32_t m_pendingDone = 0;
    std::string m_systemText = "The device does not answer.";
    std::uint32_t m_mask = 0;
    CommSettings m_state;
    CommSettings m_applied;
    std::vector<Box> m_boxes;
    std::uint32_t m_lastExitCode = 0;
    int m_liveThreads = 0;
};
