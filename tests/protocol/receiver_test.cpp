#include <gtest/gtest.h>

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

}  // namespace
