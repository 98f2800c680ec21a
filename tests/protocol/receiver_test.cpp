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
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0], (Bytes{0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30}));

    host.Feed({0xEB, 0x00, 0x55, 0x01, 0x00, 0x02, 0x13, 0x88, 0xDE});
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[1], kAck);
    EXPECT_FLOAT_EQ(host.state.fullRange, 0.5f);
    EXPECT_EQ(host.state.rangeText, "0") << "full range alone does not refresh the fields";

    host.Feed({0xEB, 0x00, 0x55, 0x02, 0x00, 0x01, 0x01, 0x44});
    ASSERT_EQ(host.sent.size(), 3u);
    EXPECT_EQ(host.sent[2], kAck);
    EXPECT_EQ(host.state.lengthText, "1");
    EXPECT_EQ(host.state.rangeText, "0.5");

    host.Feed({0xEB, 0x00, 0x55, 0x03, 0x00, 0x0A, 0x01, 0x00, 0x00, 0x30, 0x39, 0x00, 0x02, 0x02,
               0x01, 0x00, 0xBC});
    ASSERT_EQ(host.sent.size(), 4u);
    EXPECT_EQ(host.sent[3], kAck);
    ASSERT_EQ(host.state.list.GetItemCount(), 1);
    EXPECT_EQ(host.state.list.GetItemText(0, 0), "1");
    EXPECT_EQ(host.state.list.GetItemText(0, 1), "123.449997");
    EXPECT_EQ(host.state.list.GetItemText(0, 2), "N.m");
    EXPECT_EQ(host.state.list.GetItemText(0, 3), "passed");
    EXPECT_FALSE(host.state.exportEnabled);

    host.Feed({0xEB, 0x00, 0x55, 0x04, 0x00, 0x00, 0x44});
    ASSERT_EQ(host.sent.size(), 5u);
    EXPECT_EQ(host.sent[4], kAck);
    EXPECT_TRUE(host.state.exportEnabled);
    EXPECT_EQ(host.state.records.GetSize(), 1u);
}

TEST(FrameReceiver, AcknowledgesOnlyWellFormedKnownFrames) {
    Host host;
    host.Feed({0xEB, 0x00, 0x55, 0xF1, 0x00, 0x00, 0x31});
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0], kAck);

    host.Feed({0xEB, 0x00, 0x55, 0xF1, 0x00, 0x00, 0x32});  // bad check byte
    EXPECT_EQ(host.sent.size(), 1u);
    host.Feed({0xEB, 0x00, 0x55, 0xF1, 0x00, 0x00, 0x31});  // still in step afterwards
    EXPECT_EQ(host.sent.size(), 2u);

    host.Feed(Frame(0x07, {}));  // unknown command with a good check byte
    host.Feed(Frame(0xF5, {}));  // our own acknowledgement echoed back
    EXPECT_EQ(host.sent.size(), 2u);
    EXPECT_FALSE(host.state.exportEnabled);
    EXPECT_EQ(host.state.list.GetItemCount(), 0);
}

TEST(FrameReceiver, FullRangeScaling) {
    Host host;
    host.Feed(Frame(0x01, {0x13, 0x88}));  // 5000 is the tool's tenfold 0.5
    EXPECT_FLOAT_EQ(host.state.fullRange, 0.5f);
    host.Feed(Frame(0x01, {0x13, 0x89}));
    EXPECT_FLOAT_EQ(host.state.fullRange, 5.001f);
    host.Feed(Frame(0x01, {0x07, 0xD0}));
    EXPECT_FLOAT_EQ(host.state.fullRange, 2.0f);
    host.Feed(Frame(0x02, {0x00}));
    EXPECT_EQ(host.state.rangeText, "2");
    host.Feed(Frame(0x01, {0x75, 0x30}));
    host.Feed(Frame(0x02, {0xFF}));
    EXPECT_EQ(host.state.rangeText, "30");
    EXPECT_EQ(host.state.lengthText, "255");
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

// A noise byte ahead of a header must cost nothing but itself; this includes
// noise that looks like the start of a header.
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

TEST(FrameReceiver, DropsFramesThatWouldOverrunTheBuffer) {
    Host host;
    // Declares 44 payload bytes, one more than the buffer can hold.
    Bytes big = Frame(0xF1, Bytes(44, 0x11));
    host.Feed(big);
    EXPECT_TRUE(host.sent.empty());
    EXPECT_LE(host.state.receiver.rxCount, FrameReceiver::kBufferSize);
    host.Feed(Frame(0xF1, {}));
    EXPECT_EQ(host.sent.size(), 1u);

    // 43 payload bytes is the longest frame that fits and is still accepted.
    host.Feed(Frame(0xF1, Bytes(43, 0x22)));
    EXPECT_EQ(host.sent.size(), 2u);
}

TEST(FrameReceiver, DropsPayloadsTooShortForTheirCommand) {
    Host host;
    host.Feed(Frame(0x01, {0x13}));
    host.Feed(Frame(0x02, {}));
    host.Feed(Frame(0x03, Bytes(9, 0x01)));
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(host.state.list.GetItemCount(), 0);
    EXPECT_EQ(host.state.lengthText, "0");
    EXPECT_FLOAT_EQ(host.state.fullRange, 0.0f);
    // Longer payloads than needed are fine.
    host.Feed(Frame(0x02, {0x03, 0x00}));
    EXPECT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.state.lengthText, "3");
}

TEST(FrameReceiver, UploadForgetsAFrameCutOffEarlier) {
    Host host;
    // A record frame that stopped after its header, as when the port closes.
    host.Feed({0xEB, 0x00, 0x55, 0x03, 0x00, 0x0A, 0x01, 0x02});
    EXPECT_TRUE(host.state.receiver.inFrame);
    host.state.BeginUpload();
    EXPECT_FALSE(host.state.receiver.inFrame);
    host.Feed(Frame(0x01, {0x13, 0x88}));
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[1], kAck);
}

}  // namespace
