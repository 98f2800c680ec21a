#include "winapi/owner_mailbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The serial port's suite sends through mailboxes in order, waiting for
// each to be handled, and the window's suites need its wake-up and pump;
// what they do not reach: results passed back, a send on the owner's own
// thread, owners gone before or during a send.
TEST(OwnerMailbox, ResultsOwnThreadAndGoneOwners) {
    auto box = std::make_unique<OwnerMailbox>(
        [](UINT, WPARAM w, LPARAM) -> LRESULT { return static_cast<LRESULT>(w) + 1; });
    const OwnerHandle handle = box->Handle();
    EXPECT_EQ(OwnerMailbox::Send(handle, 1, 6, 0), 7) << "the owner's own thread runs it at once";
    std::thread sender([&] { EXPECT_EQ(OwnerMailbox::Send(handle, 1, 41, 0), 42); });
    while (!OwnerMailbox::Peek(handle)) std::this_thread::yield();
    sender.join();

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
