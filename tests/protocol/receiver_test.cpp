#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "protocol/upload_state.h"
#include "sim_session.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kAck = {0xEB, 0x00, 0x55, 0xF5, 0x00, 0x00, 0x35};
const Bytes kExportEnabled = {'E'};  // noted among the sent frames, to show the order
const Bytes kListed = {'L'};

struct Host : UploadState {
    std::vector<Bytes> sent;

    Host()
        : UploadState(
              [this](const std::uint8_t* b, std::uint32_t n) { sent.emplace_back(b, b + n); }) {}
    void EnableExport() override {
        sent.push_back(kExportEnabled);
        UploadState::EnableExport();
    }
    void HandleRecordFrame(const std::uint8_t* payload) override {
        UploadState::HandleRecordFrame(payload);
        sent.push_back(kListed);
    }
    void Feed(const Bytes& bytes) {
        for (std::uint8_t b : bytes) receiver.OnByte(b);
    }
};

const auto Frame = torque_sim::EncodeFrame;

// Each case is followed by a good frame, which must be answered: a dropped
// frame costs only itself. The end frame is answered before Export is on, a
// record after it is listed.
TEST(FrameReceiver, AcknowledgesOnlyWellFormedKnownFrames) {
    const std::vector<Bytes> none, ack = {kAck};
    const std::pair<Bytes, std::vector<Bytes>> cases[] = {
        {Frame(0xF1, {}), ack},
        {{0xEB, 0x00, 0x55, 0xF1, 0x00, 0x00, 0x30}, none},  // bad check byte
        {Frame(0x07, {}), none},                             // unknown command
        {Frame(0xF5, {}), none},                             // our own acknowledgement echoed back
        {Frame(0xF1, Bytes(43, 0x22)), ack},
        {Frame(0xF1, Bytes(44, 0x11)), none},                // one more than the buffer holds
        {{0xEB, 0x00, 0x55, 0xF1, 0x01, 0x00, 0x32}, none},  // 256 bytes declared, none sent
        {Frame(0x01, {0x13}), none},                         // payloads too short for their command
        {Frame(0x02, {}), none},
        {Frame(0x03, Bytes(9, 0x01)), none},
        {Frame(0x02, {0x03, 0x00}), ack},  // longer than needed is fine
        {Frame(0x04, {}), {kAck, kExportEnabled}},
        {Frame(0x03, torque_sim::EncodeRecordPayload({})), {kListed, kAck}},
    };
    for (auto [bytes, sent] : cases) {
        Host host;
        host.Feed(bytes);
        host.Feed(Frame(0xF1, {}));
        sent.push_back(kAck);
        EXPECT_EQ(host.sent, sent) << testing::PrintToString(bytes);
    }
}

// The fields show the full range only once the data length is in.
TEST(FrameReceiver, FullRangeIsInThousandthsExceptTheTenfoldHalf) {
    const std::pair<Bytes, const char*> cases[] = {
        {{0x13, 0x88}, "0.5"}, {{0x13, 0x89}, "5.001"}, {{0x07, 0xD0}, "2"}, {{0x75, 0x30}, "30"}};
    for (const auto& [raw, text] : cases) {
        Host host;
        host.Feed(Frame(0x01, raw));
        EXPECT_EQ(host.rangeText, "0");
        host.Feed(Frame(0x02, {0xFF}));
        EXPECT_EQ(host.rangeText, text);
        EXPECT_EQ(host.lengthText, "255");
    }
}

TEST(FrameReceiver, UploadForgetsAFrameCutOffEarlier) {
    Host host;
    // A record frame that stopped after its header, as when the port closes.
    host.Feed({0xEB, 0x00, 0x55, 0x03, 0x00, 0x0A, 0x01, 0x02});
    host.BeginUpload();
    host.Feed(Frame(0x01, {0x13, 0x88}));
    EXPECT_EQ(host.sent, (std::vector<Bytes>{{0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30}, kAck}));
}

// Random streams of frames and noise: every acknowledgement answers a
// well-formed, known frame, and no well-formed frame is lost after noise.
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
