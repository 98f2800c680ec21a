#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "protocol/record_handler.h"
#include "protocol/text_list.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

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
