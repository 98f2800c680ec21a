#pragma once

#include <cstdint>
#include <string>

#include "serial/owner_mailbox.h"

// The platform operations the serial port relies on, one for each of the
// Windows calls it makes, with neutral types so that a Windows backend is a
// thin pass-through and a POSIX backend or a test double can stand in.
// Texts are UTF-8; a Windows backend converts them.

using BOOL = int;

// Events, locks, devices and threads are opaque handles; 0 is "none".
using CommHandle = std::uintptr_t;
inline constexpr CommHandle kNullHandle = 0;
// What CreateFileW returns when the device cannot be opened.
inline constexpr CommHandle kInvalidHandle = ~CommHandle{0};

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorIoPending = 997;

// Line events of the watch mask.
inline constexpr std::uint32_t kEvRxChar = 0x0001;
inline constexpr std::uint32_t kEvRxFlag = 0x0002;
inline constexpr std::uint32_t kEvCts = 0x0008;
inline constexpr std::uint32_t kEvBreak = 0x0040;
inline constexpr std::uint32_t kEvErr = 0x0080;
inline constexpr std::uint32_t kEvRing = 0x0100;

inline constexpr std::uint32_t kPurgeTxAbort = 0x0001;
inline constexpr std::uint32_t kPurgeRxAbort = 0x0002;
inline constexpr std::uint32_t kPurgeTxClear = 0x0004;
inline constexpr std::uint32_t kPurgeRxClear = 0x0008;
inline constexpr std::uint32_t kPurgeAll = 15;

inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kMarkParity = 3;
inline constexpr std::uint8_t kSpaceParity = 4;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kTwoStopBits = 2;
inline constexpr std::uint32_t kRtsControlEnable = 1;

inline constexpr std::uint32_t kMbOk = 0x0000;
inline constexpr std::uint32_t kMbIconStop = 0x0010;

// The device time-outs, in milliseconds (per byte for the multipliers).
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

// The line-settings record, member for member the Windows DCB.
struct CommSettings {
    std::uint32_t DCBlength = sizeof(CommSettings);
    std::uint32_t BaudRate = 0;
    std::uint32_t fBinary : 1 = 0;
    std::uint32_t fParity : 1 = 0;
    std::uint32_t fOutxCtsFlow : 1 = 0;
    std::uint32_t fOutxDsrFlow : 1 = 0;
    std::uint32_t fDtrControl : 2 = 0;
    std::uint32_t fDsrSensitivity : 1 = 0;
    std::uint32_t fTXContinueOnXoff : 1 = 0;
    std::uint32_t fOutX : 1 = 0;
    std::uint32_t fInX : 1 = 0;
    std::uint32_t fErrorChar : 1 = 0;
    std::uint32_t fNull : 1 = 0;
    std::uint32_t fRtsControl : 2 = 0;
    std::uint32_t fAbortOnError : 1 = 0;
    std::uint32_t fDummy2 : 17 = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};

// What ClearCommError reports about the queues.
struct CommStatus {
    std::uint32_t flags = 0;
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};

// The overlapped I/O record, laid out as the Windows one. `hEvent` is the
// event signalled when the operation completes.
struct Overlapped {
    std::uintptr_t Internal = 0;
    std::uintptr_t InternalHigh = 0;
    std::uint32_t Offset = 0;
    std::uint32_t OffsetHigh = 0;
    CommHandle hEvent = kNullHandle;
};

using ThreadEntry = std::uint32_t (*)(void* parameter);

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
