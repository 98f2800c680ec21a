#pragma once

#include <cstdint>
#include <string>

#include "serial/comm_platform.h"
#include "winapi/kernel_posix.h"
#include "winapi/message_box.h"

// The serial platform on POSIX: the tty (open and lock, termios, queues,
// reads, writes, a lost line) on the ground floor's events, locks, threads,
// waits and boxes.
class PosixCommPlatform : public CommPlatform {
public:
    CommHandle CreateEventW() override { return kernel::CreateEvent(); }
    BOOL SetEvent(CommHandle event) override { return kernel::SetEvent(event); }
    BOOL ResetEvent(CommHandle event) override { return kernel::ResetEvent(event); }
    CommHandle InitializeCriticalSection() override { return kernel::CreateLock(); }
    void EnterCriticalSection(CommHandle lock) override { kernel::EnterLock(lock); }
    void LeaveCriticalSection(CommHandle lock) override { kernel::LeaveLock(lock); }
    void DeleteCriticalSection(CommHandle lock) override { kernel::DeleteLock(lock); }
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
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const CommHandle* handles, BOOL,
                                         std::uint32_t milliseconds) override {
        return kernel::WaitForAny(count, handles, milliseconds);
    }
    std::uint32_t WaitForSingleObject(CommHandle handle, std::uint32_t milliseconds) override {
        return kernel::WaitForAny(1, &handle, milliseconds);
    }
    LRESULT SendMessageW(OwnerHandle owner, UINT message, WPARAM wParam, LPARAM lParam) override {
        return OwnerMailbox::Send(owner, message, wParam, lParam);
    }
    BOOL PeekMessageW(OwnerHandle owner) override;
    BOOL CloseHandle(CommHandle handle) override { return kernel::CloseHandle(handle); }
    CommHandle CreateThread(ThreadEntry entry, void* parameter) override {
        return kernel::CreateThread(entry, parameter);
    }
    std::uint32_t GetLastError() override { return kernel::LastError(); }
    std::string FormatMessageW(std::uint32_t code) override { return kernel::ErrorText(code); }
    int MessageBoxW(const std::string& text, const std::string& caption,
                    std::uint32_t type) override {
        return ShowMessageBox(text, caption, type);
    }
    int AfxMessageBox(const std::string& text, std::uint32_t type) override {
        return ShowProgramBox(text, type);
    }
};

// The backend's single instance, as a PosixCommPlatform.
PosixCommPlatform& PosixPlatform();
