// The worker's behaviour when the platform keeps failing under it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fake_comm_platform.h"
#include "serial/serial_port.h"

namespace {

using Op = FakeCommPlatform::Op;

TEST(SerialWorker, EndsAfterTheOneBoxWhenEvenTheStopCannotBeWaitedFor) {
    FakeCommPlatform fake;
    OwnerMailbox owner([](UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    CSerialPort port(fake);
    ASSERT_TRUE(port.Open(owner.Handle(), 2));
    fake.Fail(Op::WaitForMultipleObjects, 6, -1);
    fake.Fail(Op::WaitForSingleObject, 6, -1);
    ASSERT_TRUE(port.StartMonitor());

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (port.IsMonitoring() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool ended = !port.IsMonitoring();
    const int waits = fake.Count(Op::WaitForMultipleObjects);
    // Lets a spinning worker go, so that the test ends either way.
    fake.Fail(Op::WaitForMultipleObjects, 0, 0);
    fake.Fail(Op::WaitForSingleObject, 0, 0);
    EXPECT_TRUE(ended);
    EXPECT_LE(waits, 2) << "no busy loop";
    ASSERT_EQ(fake.Boxes().size(), 1u);
    EXPECT_EQ(fake.Boxes()[0].text, "接收有问题!");
    EXPECT_TRUE(port.IsOpen()) << "the port is released by Close, not behind the owner's back";
    port.Close();
    EXPECT_EQ(fake.OpenDevices() + fake.LiveThreads(), 0);
}

}  // namespace
