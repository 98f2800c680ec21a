// Random streams of frames and noise: every acknowledgement answers a
// well-formed, known frame, and no well-formed frame is lost after noise.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "protocol/upload_state.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FrameStreamProperty, AcknowledgesExactlyTheGoodFrames) {
    const std::uint8_t commands[] = {0x01, 0x02, 0x03, 0x04, 0xF1, 0x00, 0x07, 0xF0, 0xF5, 0xFF};
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

        int acks = 0;
        UploadState host([&](const std::uint8_t*, std::uint32_t) { ++acks; });
        int expectedRows = 0;

        for (int frame = 0; frame < 60; ++frame) {
            Bytes noise(static_cast<std::size_t>(pick(0, 6)));
            for (auto& b : noise) {
                b = static_cast<std::uint8_t>(pick(0, 3) == 0 ? 0xEB : pick(0, 255));
                if (b == 0x55) b = 0x00;  // so the noise holds no header
            }

            const std::uint8_t command = commands[pick(0, std::size(commands) - 1)];
            Bytes f = {0xEB, 0x00, 0x55, command, 0, static_cast<std::uint8_t>(pick(0, 43))};
            for (int i = 0; i < f[5]; ++i) f.push_back(static_cast<std::uint8_t>(pick(0, 255)));
            if (command == 0x03 && f[5] >= 1) f[6] = 1;  // keep record ids in range of the list
            f.push_back(FrameCheck(f.data(), f.size()));
            const bool corrupt = pick(0, 4) == 0;
            if (corrupt) f.back() = static_cast<std::uint8_t>(f.back() + pick(1, 255));

            const bool known = (command >= 0x01 && command <= 0x04) || command == 0xF1;
            const bool good = !corrupt && known && f[5] >= MinimumPayload(command);

            for (std::uint8_t b : noise) host.receiver.OnByte(b);
            const int before = acks;
            for (std::uint8_t b : f) host.receiver.OnByte(b);
            ASSERT_EQ(acks - before, good ? 1 : 0)
                << "seed " << seed << " frame " << frame << " command " << int{command};
            if (good && command == 0x03) ++expectedRows;
        }
        EXPECT_EQ(host.list.GetItemCount(), expectedRows);
    }
}

}  // namespace
