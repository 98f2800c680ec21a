#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "winapi/win_types.h"

// Window messages that cross threads the way Win32's SendMessage does, for
// platforms without them: the sender blocks until the owner's thread has
// handled the message, and a message to an owner that no longer exists
// returns 0 at once. The owner's thread handles waiting messages whenever it
// calls DispatchSent (its event loop, a nested loop, a wait for a worker).

// Names an owner window; never reused, so a stale handle reaches nobody.
using OwnerHandle = std::uintptr_t;

class OwnerMailbox {
public:
    using Handler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;
    // Asks the owner's thread, from any thread, to call DispatchSent soon.
    using Wake = std::function<void()>;
    // One pass of the owner's message loop, on the owner's thread: handles
    // the sent messages and at most one other queued event. Returns whether
    // it handled anything.
    using Pump = std::function<bool()>;

    // Must be created on the owner's thread.
    OwnerMailbox(Handler handler, Wake wake = {}, Pump pump = {});
    ~OwnerMailbox();
    OwnerMailbox(const OwnerMailbox&) = delete;
    OwnerMailbox& operator=(const OwnerMailbox&) = delete;

    OwnerHandle Handle() const { return m_handle; }

    // Owner's thread: handles every message sent so far; returns how many.
    int DispatchSent();
    // Owner's thread: waits until a message has been sent or the deadline
    // passes; returns whether one is waiting.
    bool WaitForSent(std::chrono::steady_clock::time_point deadline);
    // After Close every waiting and later Send returns 0 at once.
    void Close();

    // Any thread. On the owner's thread the handler runs directly.
    static LRESULT Send(OwnerHandle owner, UINT message, WPARAM wParam, LPARAM lParam);
    // Owner's thread: one pass of its loop (the pump, or DispatchSent).
    static bool Peek(OwnerHandle owner);

    struct State;

private:
    std::shared_ptr<State> m_state;
    OwnerHandle m_handle;
};
