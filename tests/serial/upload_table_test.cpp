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

TEST(UploadTable, FieldsFirstThenTabSeparatedOrCsvRows) {
    UploadState state(nullptr);
    state.RefreshFields();
    EXPECT_EQ(FormatUpload(state, false), "Full Range: 0\nData Length: 0\nID\tDATA\tUNIT\tPASS\n");

    state.BeginUpload();
    Feed(state, CMD_FULL_RANGE, {0x00, 0x05});
    Feed(state, CMD_DATA_LENGTH, {2});
    const char* rows[2][4] = {{"1", "1,5", "say \"hi\"", "passed"}, {"2", "-3", "N.m", "failed"}};
    for (int row = 0; row < 2; ++row) {
        state.list.InsertItem(row, rows[row][0]);
        for (int column = 1; column < 4; ++column)
            state.list.SetItemText(row, column, rows[row][column]);
    }
    const std::string fields = "Full Range: " + state.rangeText + "\nData Length: 2\n";
    EXPECT_EQ(FormatUpload(state, false), fields +
                                              "ID\tDATA\tUNIT\tPASS\n"
                                              "1\t1,5\tsay \"hi\"\tpassed\n"
                                              "2\t-3\tN.m\tfailed\n");
    // CSV quotes only what would break the row.
    EXPECT_EQ(FormatUpload(state, true), fields +
                                             "ID,DATA,UNIT,PASS\r\n"
                                             "1,\"1,5\",\"say \"\"hi\"\"\",passed\r\n"
                                             "2,-3,N.m,failed\r\n");
}

}  // namespace
