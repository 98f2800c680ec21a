// The frame receiver, fed byte by byte, and the records it lists.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "protocol/record_handler.h"
#include "protocol/text_list.h"
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

// The fields show the full range only once the data length is in. An
// upload forgets a record frame that stopped after its header earlier, as
// when the port closes.
TEST(FrameReceiver, FullRangeIsInThousandthsExceptTheTenfoldHalf) {
    const std::pair<Bytes, const char*> cases[] = {
        {{0x13, 0x88}, "0.5"}, {{0x13, 0x89}, "5.001"}, {{0x07, 0xD0}, "2"}, {{0x75, 0x30}, "30"}};
    for (const auto& [raw, text] : cases) {
        Host host;
        host.Feed({0xEB, 0x00, 0x55, 0x03, 0x00, 0x0A, 0x01, 0x02});
        host.BeginUpload();
        host.Feed(Frame(0x01, raw));
        EXPECT_EQ(host.rangeText, "0");
        host.Feed(Frame(0x02, {0xFF}));
        EXPECT_EQ(host.rangeText, text);
        EXPECT_EQ(host.lengthText, "255");
        EXPECT_EQ(host.sent,
                  (std::vector<Bytes>{{0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30}, kAck, kAck}));
    }
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

Bytes Payload(std::uint8_t id, std::uint32_t magnitude, std::uint8_t negative,
              std::uint8_t decimals, std::uint8_t unit, std::uint8_t present, std::uint8_t failed) {
    Bytes p = {id, 0, 0, 0, 0, negative, decimals, unit, present, failed};
    for (int i = 0; i < 4; ++i) p[1 + i] = static_cast<std::uint8_t>(magnitude >> (24 - 8 * i));
    return p;
}

// The flags are true for any non-zero byte.
TEST(RecordDecoding, ValuesSignsScalesAndFlags) {
    struct Case {
        std::uint32_t magnitude;
        std::uint8_t negative, decimals, present, failed;
        float value;
        const char* data;
        const char* pass;
    };
    const Case cases[] = {
        {12345, 0, 2, 1, 0, 123.45f, "123.449997", "passed"},
        {500, 1, 3, 1, 1, -0.5f, "-0.500000", "failed"},
        {500, 2, 3, 7, 2, -0.5f, "-0.500000", "failed"},
        {500, 0xFF, 0, 0x80, 0xFF, -500.0f, "-500.000000", "failed"},
        {250, 0, 1, 0, 0, 25.0f, "null", "passed"},              // no value shown, still decoded
        {0xFFFFFFFF, 0, 0, 1, 0, -1.0f, "-1.000000", "passed"},  // the magnitude is signed
        {0xFFFFFFFF, 1, 0, 1, 0, 1.0f, "1.000000", "passed"},
        // A huge scale leaves nothing, not inf or nan.
        {0x7FFFFFFF, 0, 255, 1, 0, 0.0f, "0.000000", "passed"},
        {0x80000000, 0, 0, 1, 0, -2147483648.0f, "-2147483648.000000", "passed"},
    };
    for (const Case& c : cases) {
        const Bytes p = Payload(9, c.magnitude, c.negative, c.decimals, 2, c.present, c.failed);
        const Tag_UserData_Type r = DecodeRecord(p.data());
        SCOPED_TRACE(testing::PrintToString(p));
        EXPECT_FLOAT_EQ(r.value, c.value);
        EXPECT_EQ(DataText(r), c.data);
        EXPECT_EQ(PassText(r), c.pass);
    }
    const std::pair<std::uint8_t, const char*> units[] = {
        {0, " "},      {1, "kgf.cm"},     {2, "N.m"},           {3, "lfb.ft"},
        {4, "lbf.in"}, {5, "unknown(5)"}, {255, "unknown(255)"}};
    for (const auto& [code, text] : units) EXPECT_EQ(UnitText(code), text);
}

// An id of 0, a gap or a repeated id: each row keeps its own texts.
TEST(RecordHandling, AppendsAndListsEachRecordInItsOwnRow) {
    CArray<Tag_UserData_Type> records;
    TextList list;
    for (auto [id, magnitude, unit] :
         {std::tuple{1, 10u, 1}, {3, 30u, 2}, {0, 5u, 4}, {1, 11u, 3}}) {
        const Bytes p = Payload(id, magnitude, 0, 0, unit, 1, 0);
        StoreAndListRecord(p.data(), records, list);
    }
    const std::vector<std::vector<std::string>> rows = {{"0", "5.000000", "lbf.in", "passed"},
                                                        {"1", "11.000000", "lfb.ft", "passed"},
                                                        {"1", "10.000000", "kgf.cm", "passed"},
                                                        {"3", "30.000000", "N.m", "passed"}};
    ASSERT_EQ(list.GetItemCount(), 4);
    EXPECT_EQ(records.GetSize(), 4u);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(list.GetItemText(row, column), rows[row][column]) << row << "," << column;
    // Cells outside the list are neither written nor read.
    for (auto [row, column] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 4}}) {
        EXPECT_FALSE(list.SetItemText(row, column, "x"));
        EXPECT_EQ(list.GetItemText(row, column), "");
    }
    EXPECT_EQ(list.InsertItem(-1, "x"), -1);
}

}  // namespace
