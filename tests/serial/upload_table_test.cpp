#include "upload_table.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "protocol/frame.h"

namespace {

// Feeds one tool frame to the state's receiver.
void Feed(UploadState& state, std::uint8_t command, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> frame = {0xEB,    0x00, 0x55,
                                       command, 0,    static_cast<std::uint8_t>(payload.size())};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(FrameCheck(frame.data(), frame.size()));
    for (std::uint8_t b : frame) state.receiver.OnByte(b);
}

UploadState Uploaded() {
    UploadState state(nullptr);
    state.BeginUpload();
    Feed(state, CMD_FULL_RANGE, {0x00, 0x05});
    Feed(state, CMD_DATA_LENGTH, {2});
    state.list.InsertItem(0, "1");
    state.list.SetItemText(0, 1, "1,5");
    state.list.SetItemText(0, 2, "say \"hi\"");
    state.list.SetItemText(0, 3, "passed");
    state.list.InsertItem(1, "2");
    state.list.SetItemText(1, 1, "-3");
    state.list.SetItemText(1, 2, "N.m");
    state.list.SetItemText(1, 3, "failed");
    return state;
}

TEST(UploadTable, TabSeparatedWithTheFieldsFirst) {
    const UploadState state = Uploaded();
    EXPECT_EQ(FormatUpload(state, false), "Full Range: " + state.rangeText +
                                              "\nData Length: 2\n"
                                              "ID\tDATA\tUNIT\tPASS\n"
                                              "1\t1,5\tsay \"hi\"\tpassed\n"
                                              "2\t-3\tN.m\tfailed\n");
}

TEST(UploadTable, CsvQuotesOnlyWhatWouldBreakTheRow) {
    const UploadState state = Uploaded();
    EXPECT_EQ(FormatUpload(state, true), "Full Range: " + state.rangeText +
                                             "\nData Length: 2\n"
                                             "ID,DATA,UNIT,PASS\r\n"
                                             "1,\"1,5\",\"say \"\"hi\"\"\",passed\r\n"
                                             "2,-3,N.m,failed\r\n");
}

TEST(UploadTable, EmptyUploadStillHasItsHeader) {
    UploadState state(nullptr);
    state.RefreshFields();
    EXPECT_EQ(FormatUpload(state, false), "Full Range: 0\nData Length: 0\nID\tDATA\tUNIT\tPASS\n");
}

}  // namespace
