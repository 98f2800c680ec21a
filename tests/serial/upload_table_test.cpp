#include "upload_table.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "protocol/frame.h"
#include "upload_options.h"
#include "wire_trace.h"

namespace {

// Feeds one tool frame to the state's receiver.
void Feed(UploadState& state, std::uint8_t command, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> frame = {0xEB,    0x00, 0x55,
                                       command, 0,    static_cast<std::uint8_t>(payload.size())};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(FrameCheck(frame.data(), frame.size()));
    for (std::uint8_t b : frame) state.receiver.OnByte(b);
}

TEST(UploadTable, TextCsvAndJsonOfTheSameList) {
    UploadState state(nullptr);
    state.BeginUpload();
    Feed(state, CMD_FULL_RANGE, {0x13, 0x88});
    Feed(state, CMD_DATA_LENGTH, {2});
    // Two rows whose texts need quoting or escaping.
    const char* rows[2][4] = {{"1", "1.500000", "say \"hi\", \\ \x01", "passed"},
                              {"2", "null", "\xE4\xB8\xAD\xFF", "failed"}};
    for (int row = 0; row < 2; ++row) {
        state.list.InsertItem(row, rows[row][0]);
        for (int column = 1; column < 4; ++column)
            state.list.SetItemText(row, column, rows[row][column]);
    }
    const UploadSummary summary = Summarise(ReadingsOf(state.list), Limits{1, 2});
    // Text passes the bytes as they are; CSV quotes what needs it.
    EXPECT_EQ(FormatUpload(state, OutputFormat::Text, nullptr).output,
              "Full Range: 0.5\nData Length: 2\nID\tDATA\tUNIT\tPASS\n"
              "1\t1.500000\tsay \"hi\", \\ \x01\tpassed\n"
              "2\tnull\t\xE4\xB8\xAD\xFF\tfailed\n");
    EXPECT_EQ(FormatUpload(state, OutputFormat::Csv, &summary).output,
              "ID,DATA,UNIT,PASS\r\n"
              "1,1.500000,\"say \"\"hi\"\", \\ \x01\",passed\r\n"
              "2,null,\xE4\xB8\xAD\xFF,failed\r\n");
    EXPECT_EQ(FormatUpload(state, OutputFormat::Json, &summary).output,
              "{\n"
              "  \"full_range\": 0.5,\n"
              "  \"data_length\": 2,\n"
              "  \"records\": [\n"
              "    {\"id\": \"1\", \"data\": \"1.500000\", \"unit\": \"say \\\"hi\\\", \\\\ "
              "\\u0001\", \"pass\": \"passed\", \"value\": 1.500000},\n"
              "    {\"id\": \"2\", \"data\": \"null\", \"unit\": \"\xE4\xB8\xAD\xEF\xBF\xBD\", "
              "\"pass\": \"failed\", \"value\": null}\n"
              "  ],\n"
              "  \"summary\": {\n"
              "    \"units\": [\n"
              "      {\"unit\": \"say \\\"hi\\\", \\\\ \\u0001\", \"count\": 1, \"passed\": 1, "
              "\"failed\": 0, \"mean\": 1.500000, \"s\": null, \"min\": 1.500000, \"max\": "
              "1.500000, \"range\": 0.000000, \"outside\": 0, \"cm\": null, \"cmk\": null}\n"
              "    ],\n"
              "    \"no_value\": 1,\n"
              "    \"limits\": {\"lower\": 1.000000, \"upper\": 2.000000}\n"
              "  }\n"
              "}\n");
    EXPECT_EQ(FormatUpload(UploadState(nullptr), OutputFormat::Json, nullptr).output,
              "{\n  \"full_range\": 0,\n  \"data_length\": 0,\n  \"records\": []\n}\n");
}

TEST(UploadTable, JsonStringsAreValidUtf8WhateverTheBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xC3\xA9", "\"\xC3\xA9\""},                                  // é kept
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // overlong '/'
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
        {"\xF0\x9F\x98", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // cut short
        {"\xE2\x82\xAC\xE2\x82(",
         "\"\xE2\x82\xAC\xEF\xBF\xBD\xEF\xBF\xBD(\""},  // euro, bad third byte
        {std::string("a\0\x7F", 3), "\"a\\u0000\\u007f\""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(JsonString(in), out);
}

TEST(UploadTable, LimitsAreTwoFiniteNumbersLowerFirst) {
    const auto negative = ParseLimits("-3.5:-1");
    ASSERT_TRUE(negative);
    EXPECT_EQ(negative->lower, -3.5);
    EXPECT_EQ(negative->upper, -1);
    for (const char* bad : {"14:10", "5:5", "10", ":14", "10:", "a:b", "1:nan", "1:inf"})
        EXPECT_FALSE(ParseLimits(bad)) << bad;
}

TEST(UploadTable, TraceShowsFramesBothWaysAndWhatTheReceiverDropped) {
    std::vector<std::string> lines;
    long long now = 0;
    WireTrace trace([&](const std::string& line) { lines.push_back(line); }, [&] { return now++; });
    UploadState state(
        [&](const std::uint8_t* bytes, std::uint32_t count) { trace.Sent(bytes, count); });
    state.receiver.observer = &trace;
    state.BeginUpload();
    for (std::uint8_t b : {0x12, 0xEB, 0x00, 0x13, 0xEB, 0x00}) state.receiver.OnByte(b);
    Feed(state, CMD_ACK_ONLY, {});  // accepted
    for (std::uint8_t b : {0xEB, 0x00, 0x55, 0xF1, 0x00, 0x00, 0x00}) state.receiver.OnByte(b);
    Feed(state, CMD_RECORD, {1, 2});  // too short
    for (std::uint8_t b : {0xEB, 0x00, 0x55, 0x03, 0x01, 0x00}) state.receiver.OnByte(b);
    for (std::uint8_t b : {0x99, 0xEB, 0x00, 0x55, 0x01}) state.receiver.OnByte(b);
    trace.Unfinished(state.receiver.rxBuffer, state.receiver.rxCount);
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "       0 ms  host -> tool  EB 00 55 F0 00 00 30",
                  "       1 ms  tool -> host  12 EB 00 13 EB 00  dropped: noise before a header",
                  "       2 ms  tool -> host  EB 00 55 F1 00 00 31",
                  "       3 ms  host -> tool  EB 00 55 F5 00 00 35",
                  "       4 ms  tool -> host  EB 00 55 F1 00 00 00  dropped: bad check byte",
                  "       5 ms  tool -> host  EB 00 55 03 00 02 01 02 48  dropped: payload "
                  "too short for its command",
                  "       6 ms  tool -> host  EB 00 55 03 01 00  dropped: frame longer than "
                  "50 bytes",
                  "       7 ms  tool -> host  99  dropped: noise before a header",
                  "       8 ms  tool -> host  EB 00 55 01  unfinished at the end"}));
}

}  // namespace
