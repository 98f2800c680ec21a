#include "fake_comm_platform.h"

#include <algorithm>

namespace {
thread_local std::uint32_t t_lastError = 0;
}

FakeCommPlatform::FakeCommPlatform() {
    // A device that comes up at another speed with flow control on, so that
    // tests can tell what the port changed and what it kept.
    m_state.BaudRate = 1200;
    m_state.fOutxCtsFlow = 1;
    m_state.ByteSize = 7;
    m_state.Parity = kEvenParity;
    m_state.StopBits = kTwoStopBits;
    m_state.XonChar = 0x11;
}

FakeCommPlatform::~FakeCommPlatform() {
    std::vector<std::unique_ptr<std::thread>> threads;
    Locked([&] {
        threads.swap(m_closedThreads);
        for (auto& [handle, object] : m_objects)
            if (object.thread) threads.push_back(std::move(object.thread));
    });
    for (auto& thread : threads) thread->join();
}

bool FakeCommPlatform::Enter(Call call) {
    std::lock_guard lock(m_mutex);
    auto it = m_failures.find(call.op);
    m_calls.push_back(std::move(call));
    if (it == m_failures.end() || it->second.second == 0) return false;
    if (it->second.second > 0) --it->second.second;
    t_lastError = it->second.first;
    return true;
}

CommHandle FakeCommPlatform::NewHandle(Kind kind) {
    m_objects[m_next].kind = kind;
    return m_next++;
}

FakeCommPlatform::Object* FakeCommPlatform::Find(CommHandle handle, Kind kind) {
    auto it = m_objects.find(handle);
    return it != m_objects.end() && it->second.kind == kind ? &it->second : nullptr;
}

int FakeCommPlatform::CountOf(bool (*which)(const Object&)) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_objects.begin(), m_objects.end(),
                                          [&](const auto& entry) { return which(entry.second); }));
}

std::vector<FakeCommPlatform::Call> FakeCommPlatform::CallsOf(Op op) const {
    std::vector<Call> of;
    for (const Call& call : Calls())
        if (call.op == op) of.push_back(call);
    return of;
}

void FakeCommPlatform::Incoming(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(m_mutex);
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    if (Object* event = Find(m_armedLineEvent, Kind::Event)) event->set = true;
    m_armedLineEvent = kNullHandle;
    m_changed.notify_all();
}

BOOL FakeCommPlatform::SetFlag(CommHandle event, bool set) {
    std::lock_guard lock(m_mutex);
    Object* object = Find(event, Kind::Event);
    if (object) object->set = set;
    m_changed.notify_all();
    return object != nullptr;
}

void FakeCommPlatform::EnterCriticalSection(CommHandle handle) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        Object* object = Find(handle, Kind::Lock);
        return !object || !object->held;
    });
    if (Object* object = Find(handle, Kind::Lock)) object->held = true;
}

BOOL FakeCommPlatform::WaitCommEvent(CommHandle, std::uint32_t* events, Overlapped* overlapped) {
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

BOOL FakeCommPlatform::ReadFile(CommHandle, void* data, std::uint32_t count, std::uint32_t* done,
                                Overlapped*) {
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
    (m_pending ? m_pendingDone : *done) = n;
    if (m_pending) t_lastError = kErrorIoPending;
    return !m_pending;
}

BOOL FakeCommPlatform::WriteFile(CommHandle, const void* data, std::uint32_t count,
                                 std::uint32_t* done, Overlapped*) {
    if (Enter({Op::WriteFile, "", count})) return 0;
    if (onWrite) onWrite();
    std::lock_guard lock(m_mutex);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_writes.emplace_back(bytes, bytes + count);
    m_changed.notify_all();
    (m_pending ? m_pendingDone : *done) = count;
    if (m_pending) t_lastError = kErrorIoPending;
    return !m_pending;
}

std::uint32_t FakeCommPlatform::WaitForMultipleObjects(std::uint32_t count,
                                                       const CommHandle* handles, BOOL,
                                                       std::uint32_t milliseconds) {
    if (Enter({Op::WaitForMultipleObjects, "", count})) return kWaitFailed;
    return WaitFor(count, handles, milliseconds);
}

std::uint32_t FakeCommPlatform::WaitFor(std::uint32_t count, const CommHandle* handles,
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

BOOL FakeCommPlatform::PeekMessageW(OwnerHandle owner) {
    Enter({Op::PeekMessage});
    if (OwnerMailbox::Peek(owner)) return 1;
    std::this_thread::yield();
    return 0;
}

BOOL FakeCommPlatform::CloseHandle(CommHandle handle) {
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

CommHandle FakeCommPlatform::CreateThread(ThreadEntry entry, void* parameter) {
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

std::uint32_t FakeCommPlatform::GetLastError() {
    return t_lastError;
}
