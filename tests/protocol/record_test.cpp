#include <gtest/gtest.h>

#include <vector>

#include "protocol/field_text.h"
#include "protocol/record_handler.h"
#include "protocol/text_list.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Payload(std::uint8_t id, std::uint32_t magnitude, std::uint8_t negative,
              std::uint8_t decimals, std::uint8_t unit, std::uint8_t present, std::uint8_t failed) {
    return {id,
            static_cast<std::uint8_t>(magnitude >> 24),
            static_cast<std::uint8_t>(magnitude >> 16),
            static_cast<std::uint8_t>(magnitude >> 8),
            static_cast<std::uint8_t>(magnitude),
            negative,
            decimals,
            unit,
            present,
            failed};
}

TEST(RecordDecoding, ValuesSignsAndScales) {
    struct Case {
        std::uint32_t magnitude;
        std::uint8_t negative, decimals;
        float value;
        const char* text;
    };
    const Case cases[] = {
        {12345, 0, 2, 123.45f, "123.449997"},
        {500, 1, 3, -0.5f, "-0.500000"},
        {0xFFFFFFFF, 0, 0, -1.0f, "-1.000000"},  // the magnitude is signed
        {0xFFFFFFFF, 1, 0, 1.0f, "1.000000"},
        {0x7FFFFFFF, 0, 60, 0.0f, "0.000000"},   // a huge scale leaves nothing
        {0x7FFFFFFF, 0, 255, 0.0f, "0.000000"},  // no overflow to inf or nan
        {0x80000000, 0, 0, -2147483648.0f, "-2147483648.000000"},
        {7, 0, 0, 7.0f, "7.000000"},
    };
    for (const Case& c : cases) {
        const Bytes p = Payload(1, c.magnitude, c.negative, c.decimals, 2, 1, 0);
        const Tag_UserData_Type r = DecodeRecord(p.data());
        EXPECT_FLOAT_EQ(r.value, c.value) << c.magnitude << "/" << int{c.decimals};
        EXPECT_EQ(DataText(r), c.text);
    }
}

TEST(RecordDecoding, RowTexts) {
    Tag_UserData_Type r = DecodeRecord(Payload(9, 250, 0, 1, 3, 0, 1).data());
    EXPECT_EQ(IdText(r), "9");
    EXPECT_EQ(DataText(r), "null");
    EXPECT_FLOAT_EQ(r.value, 25.0f) << "a record without a value is still decoded";
    EXPECT_EQ(PassText(r), "failed");
    EXPECT_EQ(UnitText(0), " ");
    EXPECT_EQ(UnitText(1), "kgf.cm");
    EXPECT_EQ(UnitText(2), "N.m");
    EXPECT_EQ(UnitText(3), "lfb.ft");
    EXPECT_EQ(UnitText(4), "lbf.in");
    EXPECT_EQ(UnitText(5), "unknown(5)");
    EXPECT_EQ(UnitText(255), "unknown(255)");
}

TEST(RecordHandling, AppendsAndListsEachRecordInItsOwnRow) {
    CArray<Tag_UserData_Type> records;
    TextList list;
    auto store = [&](std::uint8_t id, std::uint32_t magnitude, std::uint8_t unit) {
        const Bytes p = Payload(id, magnitude, 0, 0, unit, 1, 0);
        StoreAndListRecord(p.data(), records, list);
    };
    store(1, 10, 1);
    store(3, 30, 2);  // a gap: lands at the end with its own texts
    ASSERT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemText(1, 0), "3");
    EXPECT_EQ(list.GetItemText(1, 1), "30.000000");
    EXPECT_EQ(list.GetItemText(1, 2), "N.m");

    store(0, 5, 4);  // id 0 goes first and keeps its texts
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItemText(0, 0), "0");
    EXPECT_EQ(list.GetItemText(0, 1), "5.000000");
    EXPECT_EQ(list.GetItemText(0, 3), "passed");

    store(1, 11, 3);  // a repeated id does not overwrite the first one
    ASSERT_EQ(list.GetItemCount(), 4);
    EXPECT_EQ(list.GetItemText(1, 1), "11.000000");
    EXPECT_EQ(list.GetItemText(2, 1), "10.000000");

    ASSERT_EQ(records.GetSize(), 4u);
    EXPECT_EQ(records[2].id, 0);
    EXPECT_FLOAT_EQ(records[3].value, 11.0f);
}

TEST(FieldText, GeneralNotationWithSixSignificantDigits) {
    EXPECT_EQ(FloatFieldText(0.5f), "0.5");
    EXPECT_EQ(FloatFieldText(2.0f), "2");
    EXPECT_EQ(FloatFieldText(0.0f), "0");
    EXPECT_EQ(FloatFieldText(5.001f), "5.001");
    EXPECT_EQ(FloatFieldText(65.535f), "65.535");
    EXPECT_EQ(FloatFieldText(1234567.0f), "1.23457e+06");
    EXPECT_EQ(UnsignedFieldText(4294967295u), "4294967295");
}

}  // namespace
