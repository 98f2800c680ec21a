#include <gtest/gtest.h>

#include <vector>

#include "protocol/upload_state.h"
#include "sim_session.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kAck = {0xEB, 0x00, 0x55, 0xF5, 0x00, 0x00, 0x35};

struct Host {
    std::vector<Bytes> sent;
    UploadState state{
        [this](const std::uint8_t* b, std::uint32_t n) { sent.emplace_back(b, b + n); }};

    void Feed(const Bytes& bytes) {
        for (std::uint8_t b : bytes) state.receiver.OnByte(b);
    }
};

Bytes Frame(std::uint8_t command, const Bytes& payload) {
    return torque_sim::EncodeFrame(command, payload);
}

TEST(FrameReceiver, OneRecordUploadByteByByte) {
    Host host;
    host.state.BeginUpload();
    ASSERT_EQ(host.sent, (std::vector<Bytes>{{0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30}}));

    host.Feed({0xEB, 0x00, 0x55, 0x01, 0x00, 0x02, 0x13, 0x88, 0xDE});
    EXPECT_FLOAT_EQ(host.state.fullRange, 0.5f);
    EXPECT_EQ(host.state.rangeText, "0") << "full range alone does not refresh the fields";
    host.Feed({0xEB, 0x00, 0x55, 0x02, 0x00, 0x01, 0x01, 0x44});
    EXPECT_EQ(host.state.lengthText, "1");
    EXPECT_EQ(host.state.rangeText, "0.5");
    host.Feed({0xEB, 0x00, 0x55, 0x03, 0x00, 0x0A, 0x01, 0x00, 0x00, 0x30, 0x39, 0x00, 0x02, 0x02,
               0x01, 0x00, 0xBC});
    ASSERT_EQ(host.state.list.GetItemCount(), 1);
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(host.state.list.GetItemText(0, column),
                  (std::vector<std::string>{"1", "123.449997", "N.m", "passed"}[column]));
    EXPECT_FALSE(host.state.exportEnabled);
    host.Feed({0xEB, 0x00, 0x55, 0x04, 0x00, 0x00, 0x44});
    EXPECT_TRUE(host.state.exportEnabled);
    EXPECT_EQ(host.sent, (std::vector<Bytes>{host.sent[0], kAck, kAck, kAck, kAck}));
}

// Each case is followed by a good frame, which must be answered: a dropped
// frame costs only itself.
TEST(FrameReceiver, AcknowledgesOnlyWellFormedKnownFrames) {
    Bytes highLength = {0xEB, 0x00, 0x55, 0xF1, 0x01, 0x00};  // 256 bytes declared, none sent
    highLength.push_back(FrameCheck(highLength.data(), highLength.size()));
    Bytes badCheck = Frame(0xF1, {});
    ++badCheck.back();
    const std::pair<Bytes, int> cases[] = {
        {Frame(0xF1, {}), 1},
        {badCheck, 0},
        {Frame(0x07, {}), 0},  // unknown command
        {Frame(0xF5, {}), 0},  // our own acknowledgement echoed back
        {Frame(0xF1, Bytes(43, 0x22)), 1},
        {Frame(0xF1, Bytes(44, 0x11)), 0},  // one more than the buffer holds
        {highLength, 0},
        {Frame(0x01, {0x13}), 0},  // payloads too short for their command
        {Frame(0x02, {}), 0},
        {Frame(0x03, Bytes(9, 0x01)), 0},
        {Frame(0x02, {0x03, 0x00}), 1},  // longer than needed is fine
    };
    for (const auto& [bytes, acks] : cases) {
        Host host;
        host.Feed(bytes);
        EXPECT_EQ(host.sent.size(), static_cast<std::size_t>(acks))
            << testing::PrintToString(bytes);
        EXPECT_LE(host.state.receiver.rxCount, FrameReceiver::kBufferSize);
        host.Feed(Frame(0xF1, {}));
        EXPECT_EQ(host.sent.size(), static_cast<std::size_t>(acks + 1));
    }
}

// Noise ahead of a header costs nothing but itself, also noise that looks
// like the start of a header.
TEST(FrameReceiver, ResynchronisesOnTheHeader) {
    const Bytes ackOnly = Frame(0xF1, {});
    for (const Bytes& noise : {Bytes{0x00}, Bytes{0xEB}, Bytes{0xEB, 0x00}, Bytes{0x55, 0xEB, 0xEB},
                               Bytes{0xEB, 0x00, 0xEB}, Bytes{0x12, 0x34, 0x56, 0x78}}) {
        Host host;
        host.Feed(noise);
        host.Feed(ackOnly);
        host.Feed({0x99});
        host.Feed(ackOnly);
        EXPECT_EQ(host.sent.size(), 2u) << "noise of " << noise.size() << " bytes";
    }
}

TEST(FrameReceiver, FullRangeIsInThousandthsExceptTheTenfoldHalf) {
    const std::pair<Bytes, const char*> cases[] = {
        {{0x13, 0x88}, "0.5"}, {{0x13, 0x89}, "5.001"}, {{0x07, 0xD0}, "2"}, {{0x75, 0x30}, "30"}};
    for (const auto& [raw, text] : cases) {
        Host host;
        host.Feed(Frame(0x01, raw));
        host.Feed(Frame(0x02, {0xFF}));
        EXPECT_EQ(host.state.rangeText, text);
        EXPECT_EQ(host.state.lengthText, "255");
    }
}

TEST(FrameReceiver, EndFrameAcknowledgesBeforeEnablingExport) {
    struct Order : FrameReceiverOwner {
        std::vector<std::string> events;
        void SendFrameBytes(const std::uint8_t*, std::uint32_t) override {
            events.push_back("send");
        }
        void SetFullRange(float) override {}
        void SetDataLength(std::uint32_t) override {}
        void RefreshFields() override {}
        void EnableExport() override { events.push_back("export"); }
        void HandleRecordFrame(const std::uint8_t*) override { events.push_back("record"); }
    } owner;
    FrameReceiver receiver(&owner);
    for (std::uint8_t b : Frame(0x04, {})) receiver.OnByte(b);
    for (std::uint8_t b : Frame(0x03, Bytes(10, 1))) receiver.OnByte(b);
    EXPECT_EQ(owner.events, (std::vector<std::string>{"send", "export", "record", "send"}));
}

TEST(FrameReceiver, UploadForgetsAFrameCutOffEarlier) {
    Host host;
    // A record frame that stopped after its header, as when the port closes.
    host.Feed({0xEB, 0x00, 0x55, 0x03, 0x00, 0x0A, 0x01, 0x02});
    host.state.BeginUpload();
    host.Feed(Frame(0x01, {0x13, 0x88}));
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[1], kAck);
}

}  // namespace
