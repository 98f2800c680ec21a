#pragma once

#include <cstdint>
#include <string>

#include "winapi/comm_types.h"
#include "winapi/owner_mailbox.h"

// The platform operations the serial port relies on, one for each of the
// Windows calls it makes, with neutral types so that a Windows backend is a
// thin pass-through and a POSIX backend or a test double can stand in.
// Texts are UTF-8; a Windows backend converts them.

class CommPlatform {
public:
    virtual ~CommPlatform() = default;

    // A manual-reset, unnamed event, created clear; kNullHandle on failure.
    virtual CommHandle CreateEventW() = 0;
    virtual BOOL SetEvent(CommHandle event) = 0;
    virtual BOOL ResetEvent(CommHandle event) = 0;

    // A lock for mutual exclusion between threads (never taken recursively).
    virtual CommHandle InitializeCriticalSection() = 0;
    virtual void EnterCriticalSection(CommHandle lock) = 0;
    virtual void LeaveCriticalSection(CommHandle lock) = 0;
    virtual void DeleteCriticalSection(CommHandle lock) = 0;

    // Opens the device by its Windows name ("\\.\COM3"): read and write, not
    // shared, existing only, overlapped. kInvalidHandle on failure.
    virtual CommHandle CreateFileW(const std::string& deviceName) = 0;
    virtual BOOL SetCommTimeouts(CommHandle device, const CommTimeouts& timeouts) = 0;
    virtual BOOL SetCommMask(CommHandle device, std::uint32_t mask) = 0;
    virtual BOOL GetCommState(CommHandle device, CommSettings& settings) = 0;
    virtual BOOL BuildCommDCBW(const std::string& text, CommSettings& settings) = 0;
    virtual BOOL SetCommState(CommHandle device, const CommSettings& settings) = 0;
    virtual BOOL PurgeComm(CommHandle device, std::uint32_t flags) = 0;
    // TRUE when a watched event has already happened (the overlapped event
    // is then signalled too); FALSE with kErrorIoPending when the overlapped
    // event will be signalled once one happens.
    virtual BOOL WaitCommEvent(CommHandle device, std::uint32_t* events,
                               Overlapped* overlapped) = 0;
    virtual BOOL ClearCommError(CommHandle device, std::uint32_t* errors, CommStatus* status) = 0;
    virtual BOOL GetCommMask(CommHandle device, std::uint32_t* mask) = 0;
    virtual BOOL ReadFile(CommHandle device, void* data, std::uint32_t count, std::uint32_t* done,
                          Overlapped* overlapped) = 0;
    virtual BOOL WriteFile(CommHandle device, const void* data, std::uint32_t count,
                           std::uint32_t* done, Overlapped* overlapped) = 0;
    virtual BOOL GetOverlappedResult(CommHandle device, Overlapped* overlapped, std::uint32_t* done,
                                     BOOL wait) = 0;

    // The index of the lowest signalled handle (kWaitObject0 + i), kWaitTimeout
    // or kWaitFailed. Only "any one" waits are needed.
    virtual std::uint32_t WaitForMultipleObjects(std::uint32_t count, const CommHandle* handles,
                                                 BOOL waitAll, std::uint32_t milliseconds) = 0;
    virtual std::uint32_t WaitForSingleObject(CommHandle handle, std::uint32_t milliseconds) = 0;

    // Blocks until the owner's thread handled the message; 0 at once for an
    // owner that no longer exists.
    virtual LRESULT SendMessageW(OwnerHandle owner, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // PeekMessage with PM_REMOVE for the owner, then TranslateMessage and
    // DispatchMessage of what it returned. Messages sent from other threads
    // are handled inside. Returns whether a message was removed.
    virtual BOOL PeekMessageW(OwnerHandle owner) = 0;

    // Releases a device, event or thread handle. A thread handle is released
    // only after the thread has left its entry function or is about to.
    virtual BOOL CloseHandle(CommHandle handle) = 0;
    // Starts `entry(parameter)` at once; its result is the exit code.
    // kNullHandle on failure.
    virtual CommHandle CreateThread(ThreadEntry entry, void* parameter) = 0;

    virtual std::uint32_t GetLastError() = 0;
    // The system's text for an error code; empty when it has none.
    virtual std::string FormatMessageW(std::uint32_t code) = 0;
    // Modal; the calling thread waits until the box is dismissed.
    virtual int MessageBoxW(const std::string& text, const std::string& caption,
                            std::uint32_t type) = 0;
    // The framework's box, captioned with the program's name.
    virtual int AfxMessageBox(const std::string& text, std::uint32_t type) = 0;
};

// The backend linked into the program (POSIX or Windows).
CommPlatform& DefaultCommPlatform();
