#include "serial/owner_mailbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(OwnerMailbox, SenderWaitsUntilTheOwnerHandledTheMessage) {
    std::atomic<WPARAM> returned{0};
    WPARAM handled = 0;
    // Message and parameters arrive as sent: the port's suite compares them.
    OwnerMailbox box([&](UINT, WPARAM w, LPARAM) -> LRESULT {
        EXPECT_EQ(w, handled++) << "in order";
        EXPECT_EQ(returned.load(), w) << "the sender is still waiting";
        return static_cast<LRESULT>(w) + 1;
    });
    std::thread worker([&] {
        for (WPARAM b = 0; b < 100; ++b, ++returned)
            EXPECT_EQ(OwnerMailbox::Send(box.Handle(), 1648, b, 3), static_cast<LRESULT>(b) + 1);
    });
    while (returned < 100)
        if (box.WaitForSent(std::chrono::steady_clock::now() + 10ms)) box.DispatchSent();
    worker.join();
    EXPECT_EQ(handled, 100u);
}

TEST(OwnerMailbox, ClosedOrUnknownOwnerReturnsAtOnce) {
    EXPECT_EQ(OwnerMailbox::Send(0, 1, 2, 3), 0);
    OwnerHandle stale;
    {
        OwnerMailbox box([](UINT, WPARAM, LPARAM) -> LRESULT { return 7; });
        stale = box.Handle();
        EXPECT_EQ(OwnerMailbox::Send(stale, 1, 2, 3), 7) << "same thread runs directly";
    }
    EXPECT_EQ(OwnerMailbox::Send(stale, 1, 2, 3), 0);

    // A sender already waiting is released by the close.
    auto box = std::make_unique<OwnerMailbox>([](UINT, WPARAM, LPARAM) -> LRESULT { return 7; });
    const OwnerHandle handle = box->Handle();
    std::thread sender([&] { EXPECT_EQ(OwnerMailbox::Send(handle, 1, 2, 3), 0); });
    while (!box->WaitForSent(std::chrono::steady_clock::now() + 1s)) {
    }
    box.reset();
    sender.join();
}

TEST(OwnerMailbox, PeekRunsThePumpOrTheSentMessages) {
    int pumped = 0;
    OwnerMailbox withPump([](UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, {},
                          [&] { return ++pumped > 0; });
    EXPECT_TRUE(OwnerMailbox::Peek(withPump.Handle()));
    EXPECT_EQ(pumped, 1);

    std::atomic<bool> woken{false};
    OwnerMailbox plain([](UINT, WPARAM w, LPARAM) -> LRESULT { return static_cast<LRESULT>(w); },
                       [&] { woken = true; });
    EXPECT_FALSE(OwnerMailbox::Peek(plain.Handle()));
    std::thread sender([&] { EXPECT_EQ(OwnerMailbox::Send(plain.Handle(), 1, 42, 0), 42); });
    while (!OwnerMailbox::Peek(plain.Handle())) std::this_thread::yield();
    sender.join();
    EXPECT_TRUE(woken);
}

}  // namespace
