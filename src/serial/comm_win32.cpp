#include "serial/comm_win32.h"

#include <windows.h>

#include <cstddef>
#include <vector>

#include "winapi/message_box.h"
#include "winapi/win32_text.h"

namespace {

// Overlapped records are handed to the system as they are: the system writes
// their status fields when a transfer that was under way ends.
static_assert(sizeof(Overlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(Overlapped, Internal) == offsetof(OVERLAPPED, Internal));
static_assert(offsetof(Overlapped, InternalHigh) == offsetof(OVERLAPPED, InternalHigh));
static_assert(offsetof(Overlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(Overlapped, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(Overlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
// Words the system may fill in after the call has returned.
static_assert(sizeof(std::uint32_t) == sizeof(DWORD));

HANDLE H(CommHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
CommHandle C(HANDLE handle) {
    return reinterpret_cast<CommHandle>(handle);
}
OVERLAPPED* O(Overlapped* overlapped) {
    return reinterpret_cast<OVERLAPPED*>(overlapped);
}
DWORD* D(std::uint32_t* word) {
    return reinterpret_cast<DWORD*>(word);
}
HWND W(OwnerHandle owner) {
    return reinterpret_cast<HWND>(owner);
}
CRITICAL_SECTION* CS(CommHandle lock) {
    return reinterpret_cast<CRITICAL_SECTION*>(lock);
}

// Member by member, as the bit-field layouts of the two records need not match.
DCB ToDcb(const CommSettings& s) {
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = s.BaudRate;
    d.fBinary = s.fBinary;
    d.fParity = s.fParity;
    d.fOutxCtsFlow = s.fOutxCtsFlow;
    d.fOutxDsrFlow = s.fOutxDsrFlow;
    d.fDtrControl = s.fDtrControl;
    d.fDsrSensitivity = s.fDsrSensitivity;
    d.fTXContinueOnXoff = s.fTXContinueOnXoff;
    d.fOutX = s.fOutX;
    d.fInX = s.fInX;
    d.fErrorChar = s.fErrorChar;
    d.fNull = s.fNull;
    d.fRtsControl = s.fRtsControl;
    d.fAbortOnError = s.fAbortOnError;
    d.XonLim = s.XonLim;
    d.XoffLim = s.XoffLim;
    d.ByteSize = s.ByteSize;
    d.Parity = s.Parity;
    d.StopBits = s.StopBits;
    d.XonChar = s.XonChar;
    d.XoffChar = s.XoffChar;
    d.ErrorChar = s.ErrorChar;
    d.EofChar = s.EofChar;
    d.EvtChar = s.EvtChar;
    return d;
}

void FromDcb(const DCB& d, CommSettings& s) {
    s.DCBlength = sizeof(CommSettings);
    s.BaudRate = d.BaudRate;
    s.fBinary = d.fBinary;
    s.fParity = d.fParity;
    s.fOutxCtsFlow = d.fOutxCtsFlow;
    s.fOutxDsrFlow = d.fOutxDsrFlow;
    s.fDtrControl = d.fDtrControl;
    s.fDsrSensitivity = d.fDsrSensitivity;
    s.fTXContinueOnXoff = d.fTXContinueOnXoff;
    s.fOutX = d.fOutX;
    s.fInX = d.fInX;
    s.fErrorChar = d.fErrorChar;
    s.fNull = d.fNull;
    s.fRtsControl = d.fRtsControl;
    s.fAbortOnError = d.fAbortOnError;
    s.XonLim = d.XonLim;
    s.XoffLim = d.XoffLim;
    s.ByteSize = d.ByteSize;
    s.Parity = d.Parity;
    s.StopBits = d.StopBits;
    s.XonChar = d.XonChar;
    s.XoffChar = d.XoffChar;
    s.ErrorChar = d.ErrorChar;
    s.EofChar = d.EofChar;
    s.EvtChar = d.EvtChar;
}

// The port hands the same record to the line-event wait and to its reads
// and writes. On Windows a transfer started on a record whose wait is still
// under way overwrites the wait's status and fires its event, and a second
// wait on it is refused; under Wine the waits pile up and wake-ups get lost.
// So transfers run on a record of their own, one per thread, and a wait
// still under way is reported as such instead of being started again.
struct TransferRecord {
    OVERLAPPED overlapped{};
    const Overlapped* callerRecord = nullptr;

    TransferRecord() { overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~TransferRecord() {
        if (overlapped.hEvent) ::CloseHandle(overlapped.hEvent);
    }
    TransferRecord(const TransferRecord&) = delete;
    TransferRecord& operator=(const TransferRecord&) = delete;

    OVERLAPPED* For(Overlapped* caller) {
        callerRecord = caller;
        overlapped.Internal = 0;
        overlapped.InternalHigh = 0;
        overlapped.Offset = caller ? caller->Offset : 0;
        overlapped.OffsetHigh = caller ? caller->OffsetHigh : 0;
        return &overlapped;
    }
};

thread_local TransferRecord t_transfer;

struct ThreadStart {
    ThreadEntry entry;
    void* parameter;
};

DWORD WINAPI RunThread(LPVOID raw) {
    const ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.entry(start.parameter);
}

}  // namespace

CommHandle Win32CommPlatform::CreateEventW() {
    return C(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

BOOL Win32CommPlatform::SetEvent(CommHandle event) {
    return ::SetEvent(H(event));
}

BOOL Win32CommPlatform::ResetEvent(CommHandle event) {
    return ::ResetEvent(H(event));
}

CommHandle Win32CommPlatform::InitializeCriticalSection() {
    auto* lock = new CRITICAL_SECTION;
    ::InitializeCriticalSection(lock);
    return reinterpret_cast<CommHandle>(lock);
}

void Win32CommPlatform::EnterCriticalSection(CommHandle lock) {
    ::EnterCriticalSection(CS(lock));
}

void Win32CommPlatform::LeaveCriticalSection(CommHandle lock) {
    ::LeaveCriticalSection(CS(lock));
}

void Win32CommPlatform::DeleteCriticalSection(CommHandle lock) {
    if (lock == kNullHandle) return;
    ::DeleteCriticalSection(CS(lock));
    delete CS(lock);
}

CommHandle Win32CommPlatform::CreateFileW(const std::string& deviceName) {
    const std::wstring name = WidenUtf8(deviceName);
    const HANDLE device = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) return kInvalidHandle;
    // A handle value used again: nothing waits on the new device yet.
    std::lock_guard lock(m_waitsLock);
    m_waits.erase(C(device));
    return C(device);
}

BOOL Win32CommPlatform::SetCommTimeouts(CommHandle device, const CommTimeouts& t) {
    COMMTIMEOUTS timeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                          t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                          t.WriteTotalTimeoutConstant};
    return ::SetCommTimeouts(H(device), &timeouts);
}

BOOL Win32CommPlatform::SetCommMask(CommHandle device, std::uint32_t mask) {
    return ::SetCommMask(H(device), mask);
}

BOOL Win32CommPlatform::GetCommState(CommHandle device, CommSettings& settings) {
    DCB dcb = ToDcb(settings);
    const BOOL ok = ::GetCommState(H(device), &dcb);
    if (ok) FromDcb(dcb, settings);
    return ok;
}

BOOL Win32CommPlatform::BuildCommDCBW(const std::string& text, CommSettings& settings) {
    const std::wstring wide = WidenUtf8(text);
    DCB dcb = ToDcb(settings);
    const BOOL ok = ::BuildCommDCBW(wide.c_str(), &dcb);
    if (ok) FromDcb(dcb, settings);
    return ok;
}

BOOL Win32CommPlatform::SetCommState(CommHandle device, const CommSettings& settings) {
    DCB dcb = ToDcb(settings);
    return ::SetCommState(H(device), &dcb);
}

BOOL Win32CommPlatform::PurgeComm(CommHandle device, std::uint32_t flags) {
    return ::PurgeComm(H(device), flags);
}

BOOL Win32CommPlatform::WaitCommEvent(CommHandle device, std::uint32_t* events,
                                      Overlapped* overlapped) {
    if (overlapped) {
        std::unique_lock lock(m_waitsLock);
        const auto it = m_waits.find(device);
        if (it != m_waits.end() && it->second == overlapped) {
            if (!HasOverlappedIoCompleted(O(overlapped))) {
                ::SetLastError(ERROR_IO_PENDING);
                return FALSE;
            }
            // The wait ended while the worker was busy (writing, say).
            // Starting another would reset the event and lose that wake-up,
            // leaving a byte unread until the next one came: report it
            // instead, with its event still signalled.
            m_waits.erase(it);
            lock.unlock();
            DWORD count = 0;
            if (::GetOverlappedResult(H(device), O(overlapped), &count, FALSE)) return TRUE;
        }
    }
    const BOOL done = ::WaitCommEvent(H(device), D(events), O(overlapped));
    if (!done) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING && overlapped) {
            std::lock_guard lock(m_waitsLock);
            m_waits[device] = overlapped;
        }
        ::SetLastError(error);
    }
    return done;
}

BOOL Win32CommPlatform::ClearCommError(CommHandle device, std::uint32_t* errors,
                                       CommStatus* status) {
    COMSTAT comstat{};
    DWORD errorWord = 0;
    const BOOL ok = ::ClearCommError(H(device), &errorWord, &comstat);
    if (errors) *errors = errorWord;
    if (status) {
        status->flags = 0;
        status->cbInQue = comstat.cbInQue;
        status->cbOutQue = comstat.cbOutQue;
    }
    return ok;
}

BOOL Win32CommPlatform::GetCommMask(CommHandle device, std::uint32_t* mask) {
    DWORD word = 0;
    const BOOL ok = ::GetCommMask(H(device), &word);
    if (mask) *mask = word;
    return ok;
}

BOOL Win32CommPlatform::ReadFile(CommHandle device, void* data, std::uint32_t count,
                                 std::uint32_t* done, Overlapped* overlapped) {
    if (!overlapped) return ::ReadFile(H(device), data, count, D(done), nullptr);
    return ::ReadFile(H(device), data, count, D(done), t_transfer.For(overlapped));
}

BOOL Win32CommPlatform::WriteFile(CommHandle device, const void* data, std::uint32_t count,
                                  std::uint32_t* done, Overlapped* overlapped) {
    if (!overlapped) return ::WriteFile(H(device), data, count, D(done), nullptr);
    return ::WriteFile(H(device), data, count, D(done), t_transfer.For(overlapped));
}

BOOL Win32CommPlatform::GetOverlappedResult(CommHandle device, Overlapped* overlapped,
                                            std::uint32_t* done, BOOL wait) {
    DWORD count = 0;
    OVERLAPPED* record = overlapped && overlapped == t_transfer.callerRecord
                             ? &t_transfer.overlapped
                             : O(overlapped);
    const BOOL ok = ::GetOverlappedResult(H(device), record, &count, wait);
    if (done) *done = count;
    return ok;
}

std::uint32_t Win32CommPlatform::WaitForMultipleObjects(std::uint32_t count,
                                                        const CommHandle* handles, BOOL waitAll,
                                                        std::uint32_t milliseconds) {
    std::vector<HANDLE> list(count);
    for (std::uint32_t i = 0; i < count; ++i) list[i] = H(handles[i]);
    return ::WaitForMultipleObjects(count, list.data(), waitAll, milliseconds);
}

std::uint32_t Win32CommPlatform::WaitForSingleObject(CommHandle handle,
                                                     std::uint32_t milliseconds) {
    return ::WaitForSingleObject(H(handle), milliseconds);
}

LRESULT Win32CommPlatform::SendMessageW(OwnerHandle owner, UINT message, WPARAM wParam,
                                        LPARAM lParam) {
    return ::SendMessageW(W(owner), message, wParam, lParam);
}

BOOL Win32CommPlatform::PeekMessageW(OwnerHandle owner) {
    MSG msg;
    // A window already destroyed filters nothing in; what other threads are
    // still sending to it must be handled (and turned away) all the same.
    if (owner != 0 && !::IsWindow(W(owner))) {
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        return FALSE;
    }
    if (!::PeekMessageW(&msg, W(owner), 0, 0, PM_REMOVE)) return FALSE;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return TRUE;
}

BOOL Win32CommPlatform::CloseHandle(CommHandle handle) {
    Overlapped* wait = nullptr;
    {
        std::lock_guard lock(m_waitsLock);
        if (const auto it = m_waits.find(handle); it != m_waits.end()) wait = it->second;
        m_waits.erase(handle);
    }
    // A line wait still under way is ended, and its result written, before
    // the device goes: Wine writes it from a thread of its own, which could
    // otherwise reach the waiting thread's variables after that thread ended.
    if (wait && !HasOverlappedIoCompleted(O(wait))) {
        ::ResetEvent(H(wait->hEvent));
        ::SetCommMask(H(handle), 0);
        ::WaitForSingleObject(H(wait->hEvent), 5000);
    }
    return ::CloseHandle(H(handle));
}

CommHandle Win32CommPlatform::CreateThread(ThreadEntry entry, void* parameter) {
    auto* start = new ThreadStart{entry, parameter};
    const HANDLE thread = ::CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
    if (!thread) {
        const DWORD error = ::GetLastError();
        delete start;
        ::SetLastError(error);
    }
    return C(thread);
}

std::uint32_t Win32CommPlatform::GetLastError() {
    return ::GetLastError();
}

std::string Win32CommPlatform::FormatMessageW(std::uint32_t code) {
    wchar_t* text = nullptr;
    // Without IGNORE_INSERTS a system text with %1 would read arguments that
    // were never passed.
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text),
        0, nullptr);
    std::string result;
    if (length != 0 && text) result = NarrowUtf16(std::wstring(text, length));
    if (text) ::LocalFree(text);
    return result;
}

int Win32CommPlatform::MessageBoxW(const std::string& text, const std::string& caption,
                                   std::uint32_t type) {
    return ShowMessageBox(text, caption, type);
}

int Win32CommPlatform::AfxMessageBox(const std::string& text, std::uint32_t type) {
    return ShowProgramBox(text, type);
}

CommPlatform& DefaultCommPlatform() {
    static Win32CommPlatform platform;
    return platform;
}
