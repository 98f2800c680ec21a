#include "winapi/owner_mailbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The serial port's suite sends through mailboxes in order, waiting for
// each to be handled, and the window's Close runs its pump; what they do not
// reach: results passed back, a send on the owner's own thread, owners gone
// before or during a send, the wake-up.
TEST(OwnerMailbox, ResultsOwnThreadGoneOwnersAndWake) {
    std::atomic<bool> woken{false};
    auto box = std::make_unique<OwnerMailbox>(
        [](UINT, WPARAM w, LPARAM) -> LRESULT { return static_cast<LRESULT>(w) + 1; },
        [&] { woken = true; });
    const OwnerHandle handle = box->Handle();
    EXPECT_EQ(OwnerMailbox::Send(handle, 1, 6, 0), 7) << "the owner's own thread runs it at once";
    EXPECT_FALSE(OwnerMailbox::Peek(handle));
    std::thread sender([&] { EXPECT_EQ(OwnerMailbox::Send(handle, 1, 41, 0), 42); });
    while (!OwnerMailbox::Peek(handle)) std::this_thread::yield();
    sender.join();
    EXPECT_TRUE(woken);

    // A sender already waiting is released by the close; later ones return at once.
    std::thread waiting([&] { EXPECT_EQ(OwnerMailbox::Send(handle, 1, 2, 3), 0); });
    while (!box->WaitForSent(std::chrono::steady_clock::now() + 1s)) {
    }
    box.reset();
    waiting.join();
    EXPECT_EQ(OwnerMailbox::Send(handle, 1, 2, 3), 0);
    EXPECT_EQ(OwnerMailbox::Send(0, 1, 2, 3), 0);
}

}  // namespace
