#include "winapi/owner_mailbox.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

struct Pending {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

}  // namespace

struct OwnerMailbox::State {
    Handler handler;
    Wake wake;
    Pump pump;
    std::thread::id ownerThread;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Pending>> queue;
    bool open = true;
};

namespace {

std::mutex g_registryMutex;
std::unordered_map<OwnerHandle, std::weak_ptr<OwnerMailbox::State>> g_registry;
OwnerHandle g_nextHandle = 1;

std::shared_ptr<OwnerMailbox::State> Find(OwnerHandle handle) {
    std::lock_guard lock(g_registryMutex);
    auto it = g_registry.find(handle);
    return it == g_registry.end() ? nullptr : it->second.lock();
}

// Handles the queued messages one by one, the lock released while each runs
// so that the handler may itself send, wait or close.
int DispatchQueued(OwnerMailbox::State& state) {
    int handled = 0;
    for (;;) {
        std::shared_ptr<Pending> next;
        {
            std::lock_guard lock(state.mutex);
            if (!state.open || state.queue.empty()) return handled;
            next = state.queue.front();
            state.queue.pop_front();
        }
        const LRESULT result = state.handler(next->message, next->wParam, next->lParam);
        ++handled;
        std::lock_guard lock(state.mutex);
        next->result = result;
        next->done = true;
        state.changed.notify_all();
    }
}

}  // namespace

OwnerMailbox::OwnerMailbox(Handler handler, Wake wake, Pump pump)
    : m_state(std::make_shared<State>()) {
    m_state->handler = std::move(handler);
    m_state->wake = std::move(wake);
    m_state->pump = std::move(pump);
    m_state->ownerThread = std::this_thread::get_id();
    std::lock_guard lock(g_registryMutex);
    m_handle = g_nextHandle++;
    g_registry[m_handle] = m_state;
}

OwnerMailbox::~OwnerMailbox() {
    Close();
}

void OwnerMailbox::Close() {
    {
        std::lock_guard lock(g_registryMutex);
        g_registry.erase(m_handle);
    }
    std::lock_guard lock(m_state->mutex);
    m_state->open = false;
    m_state->queue.clear();
    m_state->changed.notify_all();
}

int OwnerMailbox::DispatchSent() {
    return DispatchQueued(*m_state);
}

bool OwnerMailbox::WaitForSent(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_state->mutex);
    m_state->changed.wait_until(lock, deadline,
                                [&] { return !m_state->open || !m_state->queue.empty(); });
    return m_state->open && !m_state->queue.empty();
}

LRESULT OwnerMailbox::Send(OwnerHandle owner, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::shared_ptr<State> state = Find(owner);
    if (!state) return 0;
    if (std::this_thread::get_id() == state->ownerThread)
        return state->handler(message, wParam, lParam);

    auto pending = std::make_shared<Pending>(Pending{message, wParam, lParam});
    {
        std::lock_guard lock(state->mutex);
        if (!state->open) return 0;
        state->queue.push_back(pending);
        state->changed.notify_all();
    }
    if (state->wake) state->wake();
    std::unique_lock lock(state->mutex);
    state->changed.wait(lock, [&] { return pending->done || !state->open; });
    return pending->done ? pending->result : 0;
}

bool OwnerMailbox::Peek(OwnerHandle owner) {
    const std::shared_ptr<State> state = Find(owner);
    if (!state) return false;
    if (state->pump) return state->pump();
    // Without a pump of its own the owner has nothing but sent messages.
    return DispatchQueued(*state) > 0;
}
