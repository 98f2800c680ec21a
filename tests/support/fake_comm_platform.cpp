#include "fake_comm_platform.h"

#include <algorithm>
#include <cstdio>

namespace {
thread_local std::uint32_t t_lastError = 0;
}

FakeCommPlatform::FakeCommPlatform() {
    // A device that comes up at another speed with flow control on, so that
    // tests can tell what the port changed and what it kept.
    m_state.BaudRate = 1200;
    m_state.ByteSize = 7;
    m_state.Parity = kEvenParity;
    m_state.StopBits = kTwoStopBits;
    m_state.fBinary = 1;
    m_state.fOutxCtsFlow = 1;
    m_state.fDtrControl = 1;
}

FakeCommPlatform::~FakeCommPlatform() {
    std::vector<std::unique_ptr<std::thread>> threads;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [handle, object] : m_objects)
            if (object.thread) threads.push_back(std::move(object.thread));
    }
    for (auto& thread : threads)
        if (thread->joinable()) thread->join();
}

bool FakeCommPlatform::Enter(Op op, CommHandle handle, std::string text, std::uint32_t value,
                             WPARAM w, LPARAM l) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(Call{op, handle, std::move(text), value, w, l});
    auto it = m_failures.find(op);
    if (it == m_failures.end() || it->second.second == 0) return false;
    if (it->second.second > 0) --it->second.second;
    t_lastError = it->second.first;
    return true;
}

CommHandle FakeCommPlatform::NewHandle(Kind kind) {
    const CommHandle handle = m_next++;
    m_objects[handle].kind = kind;
    return handle;
}

FakeCommPlatform::Object* FakeCommPlatform::Find(CommHandle handle, Kind kind) {
    auto it = m_objects.find(handle);
    return it != m_objects.end() && it->second.kind == kind ? &it->second : nullptr;
}

void FakeCommPlatform::Incoming(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(m_mutex);
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    if (Object* event = Find(m_armedLineEvent, Kind::Event)) event->set = true;
    m_armedLineEvent = kNullHandle;
    m_changed.notify_all();
}

std::size_t FakeCommPlatform::InputWaiting() const {
    std::lock_guard lock(m_mutex);
    return m_input.size();
}

std::vector<std::vector<std::uint8_t>> FakeCommPlatform::Writes() const {
    std::lock_guard lock(m_mutex);
    return m_writes;
}

std::vector<std::uint8_t> FakeCommPlatform::Written() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::uint8_t> all;
    for (const auto& write : m_writes) all.insert(all.end(), write.begin(), write.end());
    return all;
}

bool FakeCommPlatform::WaitForWrites(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_writes.size() >= count; });
}

void FakeCommPlatform::Fail(Op op, std::uint32_t error, int times) {
    std::lock_guard lock(m_mutex);
    m_failures[op] = {error, times};
}

void FakeCommPlatform::CompleteLineWaitAtOnce(int times) {
    std::lock_guard lock(m_mutex);
    m_immediateLineWaits = times;
}

void FakeCommPlatform::ScriptWaitResults(const std::vector<std::uint32_t>& results) {
    std::lock_guard lock(m_mutex);
    m_waitResults.assign(results.begin(), results.end());
}

void FakeCommPlatform::SetTransfersPending(bool pending) {
    std::lock_guard lock(m_mutex);
    m_pending = pending;
}

void FakeCommPlatform::SetSystemText(std::string text) {
    std::lock_guard lock(m_mutex);
    m_systemText = std::move(text);
}

std::vector<FakeCommPlatform::Call> FakeCommPlatform::Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<FakeCommPlatform::Call> FakeCommPlatform::CallsOf(Op op) const {
    std::vector<Call> of;
    for (const Call& call : Calls())
        if (call.op == op) of.push_back(call);
    return of;
}

int FakeCommPlatform::Count(Op op) const {
    return static_cast<int>(CallsOf(op).size());
}

std::vector<FakeCommPlatform::Box> FakeCommPlatform::Boxes() const {
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

bool FakeCommPlatform::EventSet(CommHandle event) const {
    std::lock_guard lock(m_mutex);
    auto it = m_objects.find(event);
    return it != m_objects.end() && it->second.set;
}

bool FakeCommPlatform::LockHeld() const {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_objects.begin(), m_objects.end(),
                       [](const auto& entry) { return entry.second.held; });
}

int FakeCommPlatform::OpenDevices() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_objects.begin(), m_objects.end(), [](const auto& e) {
        return e.second.kind == Kind::Device;
    }));
}

int FakeCommPlatform::OpenHandles() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_objects.size());
}

int FakeCommPlatform::LiveThreads() const {
    std::lock_guard lock(m_mutex);
    return m_liveThreads;
}

std::uint32_t FakeCommPlatform::LastExitCode() const {
    std::lock_guard lock(m_mutex);
    return m_lastExitCode;
}

CommSettings FakeCommPlatform::AppliedSettings() const {
    std::lock_guard lock(m_mutex);
    return m_applied;
}

CommHandle FakeCommPlatform::CreateEventW() {
    if (Enter(Op::CreateEvent)) return kNullHandle;
    std::lock_guard lock(m_mutex);
    return NewHandle(Kind::Event);
}

BOOL FakeCommPlatform::SetEvent(CommHandle event) {
    if (Enter(Op::SetEvent, event)) return 0;
    std::lock_guard lock(m_mutex);
    Object* object = Find(event, Kind::Event);
    if (!object) return 0;
    object->set = true;
    m_changed.notify_all();
    return 1;
}

BOOL FakeCommPlatform::ResetEvent(CommHandle event) {
    if (Enter(Op::ResetEvent, event)) return 0;
    std::lock_guard lock(m_mutex);
    Object* object = Find(event, Kind::Event);
    if (!object) return 0;
    object->set = false;
    return 1;
}

CommHandle FakeCommPlatform::InitializeCriticalSection() {
    Enter(Op::InitLock);
    std::lock_guard lock(m_mutex);
    return NewHandle(Kind::Lock);
}

void FakeCommPlatform::EnterCriticalSection(CommHandle handle) {
    Enter(Op::EnterLock, handle);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        Object* object = Find(handle, Kind::Lock);
        return !object || !object->held;
    });
    if (Object* object = Find(handle, Kind::Lock)) object->held = true;
}

void FakeCommPlatform::LeaveCriticalSection(CommHandle handle) {
    Enter(Op::LeaveLock, handle);
    std::lock_guard lock(m_mutex);
    if (Object* object = Find(handle, Kind::Lock)) object->held = false;
    m_changed.notify_all();
}

void FakeCommPlatform::DeleteCriticalSection(CommHandle handle) {
    Enter(Op::DeleteLock, handle);
    std::lock_guard lock(m_mutex);
    m_objects.erase(handle);
}

CommHandle FakeCommPlatform::CreateFileW(const std::string& deviceName) {
    if (Enter(Op::CreateFile, kNullHandle, deviceName)) return kInvalidHandle;
    std::lock_guard lock(m_mutex);
    return NewHandle(Kind::Device);
}

BOOL FakeCommPlatform::SetCommTimeouts(CommHandle device, const CommTimeouts& timeouts) {
    return !Enter(Op::SetCommTimeouts, device, {}, timeouts.ReadIntervalTimeout);
}

BOOL FakeCommPlatform::SetCommMask(CommHandle device, std::uint32_t mask) {
    if (Enter(Op::SetCommMask, device, {}, mask)) return 0;
    std::lock_guard lock(m_mutex);
    m_mask = mask;
    return 1;
}

BOOL FakeCommPlatform::GetCommState(CommHandle device, CommSettings& settings) {
    if (Enter(Op::GetCommState, device)) return 0;
    std::lock_guard lock(m_mutex);
    settings = m_state;
    return 1;
}

BOOL FakeCommPlatform::BuildCommDCBW(const std::string& text, CommSettings& settings) {
    if (Enter(Op::BuildCommDCB, kNullHandle, text)) return 0;
    unsigned baud = 0, data = 0, stop = 0;
    char parity = 0;
    if (std::sscanf(text.c_str(), "baud=%u parity=%c data=%u stop=%u", &baud, &parity, &data,
                    &stop) != 4) {
        t_lastError = kErrorInvalidParameter;
        return 0;
    }
    settings.BaudRate = baud;
    settings.Parity = parity == 'N' ? kNoParity : parity == 'O' ? kOddParity : kEvenParity;
    settings.ByteSize = static_cast<std::uint8_t>(data);
    settings.StopBits = stop == 2 ? kTwoStopBits : kOneStopBit;
    return 1;
}

BOOL FakeCommPlatform::SetCommState(CommHandle device, const CommSettings& settings) {
    if (Enter(Op::SetCommState, device)) return 0;
    std::lock_guard lock(m_mutex);
    m_applied = settings;
    return 1;
}

BOOL FakeCommPlatform::PurgeComm(CommHandle device, std::uint32_t flags) {
    if (Enter(Op::PurgeComm, device, {}, flags)) return 0;
    std::lock_guard lock(m_mutex);
    if (flags & kPurgeRxClear) m_input.clear();
    return 1;
}

BOOL FakeCommPlatform::WaitCommEvent(CommHandle device, std::uint32_t* events,
                                     Overlapped* overlapped) {
    if (Enter(Op::WaitCommEvent, device)) return 0;
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
    if (!m_input.empty()) {
        if (line) line->set = true;
        m_changed.notify_all();
    } else {
        m_armedLineEvent = overlapped->hEvent;
    }
    return 0;
}

BOOL FakeCommPlatform::ClearCommError(CommHandle device, std::uint32_t* errors,
                                      CommStatus* status) {
    if (Enter(Op::ClearCommError, device)) return 0;
    std::lock_guard lock(m_mutex);
    *errors = 0;
    status->cbInQue = static_cast<std::uint32_t>(m_input.size());
    return 1;
}

BOOL FakeCommPlatform::GetCommMask(CommHandle device, std::uint32_t* mask) {
    if (Enter(Op::GetCommMask, device)) return 0;
    std::lock_guard lock(m_mutex);
    *mask = m_mask;
    return 1;
}

BOOL FakeCommPlatform::ReadFile(CommHandle device, void* data, std::uint32_t count,
                                std::uint32_t* done, Overlapped*) {
    if (Enter(Op::ReadFile, device, {}, count)) return 0;
    std::lock_guard lock(m_mutex);
    std::uint32_t n = 0;
    auto* out = static_cast<std::uint8_t*>(data);
    while (n < count && !m_input.empty()) {
        out[n++] = m_input.front();
        m_input.pop_front();
    }
    if (m_pending) {
        m_pendingDone = n;
        t_lastError = kErrorIoPending;
        return 0;
    }
    *done = n;
    return 1;
}

BOOL FakeCommPlatform::WriteFile(CommHandle device, const void* data, std::uint32_t count,
                                 std::uint32_t* done, Overlapped*) {
    if (Enter(Op::WriteFile, device, {}, count)) return 0;
    std::lock_guard lock(m_mutex);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_writes.emplace_back(bytes, bytes + count);
    m_changed.notify_all();
    if (m_pending) {
        m_pendingDone = count;
        t_lastError = kErrorIoPending;
        return 0;
    }
    *done = count;
    return 1;
}

BOOL FakeCommPlatform::GetOverlappedResult(CommHandle device, Overlapped*, std::uint32_t* done,
                                           BOOL) {
    if (Enter(Op::GetOverlappedResult, device)) return 0;
    std::lock_guard lock(m_mutex);
    *done = m_pendingDone;
    return 1;
}

std::uint32_t FakeCommPlatform::WaitForMultipleObjects(std::uint32_t count,
                                                       const CommHandle* handles, BOOL,
                                                       std::uint32_t milliseconds) {
    if (Enter(Op::WaitForMultipleObjects, kNullHandle, {}, count)) return kWaitFailed;
    {
        std::lock_guard lock(m_mutex);
        if (!m_waitResults.empty()) {
            const std::uint32_t result = m_waitResults.front();
            m_waitResults.pop_front();
            return result;
        }
    }
    return WaitFor(count, handles, milliseconds);
}

std::uint32_t FakeCommPlatform::WaitFor(std::uint32_t count, const CommHandle* handles,
                                        std::uint32_t milliseconds) {
    std::unique_lock lock(m_mutex);
    std::uint32_t index = kWaitTimeout;
    auto ready = [&] {
        for (std::uint32_t i = 0; i < count; ++i) {
            Object* object = Find(handles[i], Kind::Event);
            if (object && object->set) {
                index = kWaitObject0 + i;
                return true;
            }
        }
        return false;
    };
    if (milliseconds == kInfinite)
        m_changed.wait(lock, ready);
    else
        m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
    return index;
}

std::uint32_t FakeCommPlatform::WaitForSingleObject(CommHandle handle, std::uint32_t milliseconds) {
    if (Enter(Op::WaitForSingleObject, handle, {}, milliseconds)) return kWaitFailed;
    return WaitFor(1, &handle, milliseconds) == kWaitObject0 ? kWaitObject0 : kWaitTimeout;
}

LRESULT FakeCommPlatform::SendMessageW(OwnerHandle owner, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
    Enter(Op::SendMessage, owner, {}, message, wParam, lParam);
    if (onSend) return onSend(owner, message, wParam, lParam);
    return OwnerMailbox::Send(owner, message, wParam, lParam);
}

BOOL FakeCommPlatform::PeekMessageW(OwnerHandle owner) {
    Enter(Op::PeekMessage, owner);
    if (OwnerMailbox::Peek(owner)) return 1;
    std::this_thread::yield();
    return 0;
}

BOOL FakeCommPlatform::CloseHandle(CommHandle handle) {
    if (Enter(Op::CloseHandle, handle)) return 0;
    std::unique_ptr<std::thread> thread;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_objects.find(handle);
        if (it == m_objects.end()) return 0;
        thread = std::move(it->second.thread);
        if (m_armedLineEvent == handle) m_armedLineEvent = kNullHandle;
        m_objects.erase(it);
    }
    if (thread && thread->joinable()) thread->join();
    return 1;
}

CommHandle FakeCommPlatform::CreateThread(ThreadEntry entry, void* parameter) {
    if (Enter(Op::CreateThread)) return kNullHandle;
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

std::uint32_t FakeCommPlatform::GetLastError() {
    return t_lastError;
}

std::string FakeCommPlatform::FormatMessageW(std::uint32_t) {
    std::lock_guard lock(m_mutex);
    return m_systemText;
}

int FakeCommPlatform::MessageBoxW(const std::string& text, const std::string& caption,
                                  std::uint32_t type) {
    Enter(Op::MessageBox, kNullHandle, text, type);
    Box box{text, caption, type};
    {
        std::lock_guard lock(m_mutex);
        m_boxes.push_back(box);
    }
    if (onBox) onBox(box);
    return 1;
}

int FakeCommPlatform::AfxMessageBox(const std::string& text, std::uint32_t type) {
    Enter(Op::AfxMessageBox, kNullHandle, text, type);
    Box box{text, "", type};
    {
        std::lock_guard lock(m_mutex);
        m_boxes.push_back(box);
    }
    if (onBox) onBox(box);
    return 1;
}
