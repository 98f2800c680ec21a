#pragma once

#include <map>
#include <mutex>

#include "serial/comm_platform.h"

// The serial port's platform operations on Windows: each one is the Win32
// call of the same name, with texts converted between UTF-8 and UTF-16.
// Owners are window handles; a handle of the seam is the Win32 HANDLE (or,
// for a lock, the CRITICAL_SECTION it allocated). Boxes go through the
// ground floor's ShowMessageBox, which a console program redirects.
//
// Transfers and the line-event wait use separate overlapped records here
// (see comm_win32.cpp), whatever record the caller passes.
class Win32CommPlatform : public CommPlatform {
public:
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
    // Per device, the record of the line-event wait left under way on it.
    std::mutex m_waitsLock;
    std::map<CommHandle, Overlapped*> m_waits;
};
