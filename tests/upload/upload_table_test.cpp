#include "upload_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "upload_options.h"
#include "upload_stats.h"
#include "wire_trace.h"

namespace {

// RFC 4180: quoted only when needed; the rest of the formats is read back
// from a real upload.
TEST(UploadTable, CsvQuotesWhatWouldBreakTheRow) {
    UploadState state(nullptr);
    const char* row[4] = {"1", "1.500000", "say \"hi\", \\ \x01", "passed"};
    state.list.InsertItem(0, row[0]);
    for (int column = 1; column < 4; ++column) state.list.SetItemText(0, column, row[column]);
    EXPECT_EQ(FormatUpload(state, OutputFormat::Csv, nullptr).output,
              "ID,DATA,UNIT,PASS\r\n1,1.500000,\"say \"\"hi\"\", \\ \x01\",passed\r\n");
}

TEST(UploadTable, JsonStringsAreValidUtf8WhateverTheBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xC3\xA9\xE2\x80\x80", "\"\xC3\xA9\xE2\x80\x80\""},          // é and U+2000 kept
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // overlong '/'
        {"\xC3\xC0", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // second byte past the range
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
        {"\xF0\x9F\x98", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // cut short
        {"\xF0\x8F\xBF\xBF\xF1\x80\x80\x80\xF4\x90\x80\x80",  // overlong, U+40000, too high
         "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xF1\x80\x80\x80\xEF\xBF\xBD\xEF\xBF"
         "\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xE2\x82\xAC\xE2\x82\xC0(",
         "\"\xE2\x82\xAC\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD(\""},  // euro, bad third byte
        {std::string("say \"hi\", \\ \0\x7F", 14), "\"say \\\"hi\\\", \\\\ \\u0000\\u007f\""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(JsonString(in), out);
}

// Limits 2e308 apart give an infinite Cm, which neither JSON nor the text
// may show as "inf".
TEST(UploadTable, FiguresBeyondADoubleAreNotAvailable) {
    UploadState state(nullptr);
    const UploadSummary summary = Summarise({{"N.m", 1.0}, {"N.m", 2.0}}, Limits{-1e308, 1e308});
    const std::string json = FormatUpload(state, OutputFormat::Json, &summary).output;
    const std::string text = FormatUpload(state, OutputFormat::Text, &summary).output;
    EXPECT_NE(json.find("\"outside\": 0, \"cm\": null, \"cmk\": 4714"), std::string::npos) << json;
    EXPECT_NE(text.find("\t0\tnot available\t4714"), std::string::npos) << text;
}

TEST(UploadTable, TraceShowsFramesBothWaysAndWhatTheReceiverDropped) {
    std::vector<std::string> lines;
    long long now = 0;
    WireTrace trace([&](const std::string& line) { lines.push_back(line); }, [&] { return now++; });
    UploadState state(
        [&](const std::uint8_t* bytes, std::uint32_t count) { trace.Sent(bytes, count); });
    state.receiver.observer = &trace;
    state.BeginUpload();
    // Noise, an accepted frame, noise, a long frame, noise and a frame cut
    // off after its first byte; the other reasons are seen on a real upload.
    for (std::uint8_t b : {0x12, 0xEB, 0x00, 0x13, 0xEB, 0x00, 0xEB, 0x00, 0x55, 0xF1, 0x00,
                           0x00, 0x31, 0x99, 0xEB, 0x00, 0x55, 0x03, 0x01, 0x00, 0x98, 0xEB})
        state.receiver.OnByte(b);
    trace.Unfinished(state.receiver.rxBuffer, state.receiver.rxCount);
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "       0 ms  host -> tool  EB 00 55 F0 00 00 30",
                  "       1 ms  tool -> host  12 EB 00 13 EB 00  dropped: noise before a header",
                  "       2 ms  tool -> host  EB 00 55 F1 00 00 31",
                  "       3 ms  host -> tool  EB 00 55 F5 00 00 35",
                  "       4 ms  tool -> host  99  dropped: noise before a header",
                  "       5 ms  tool -> host  EB 00 55 03 01 00  dropped: frame longer than "
                  "50 bytes",
                  "       6 ms  tool -> host  98  dropped: noise before a header",
                  "       7 ms  tool -> host  EB  unfinished at the end"}));
    // Noise without end goes out in lines as it comes.
    const std::vector<std::uint8_t> noise(70, 0x77);
    trace.OnDropped(noise.data(), noise.size(), FrameObserver::Drop::Noise);
    trace.Flush();
    for (std::size_t i : {8, 9, 10})
        EXPECT_EQ(std::ranges::count(lines.at(i), '7'), i < 10 ? 64 : 12) << lines[i];
}

// Expected figures computed apart (Python's statistics module) for:
// N.m 12.34 12.51 -0.35(failed) 11.99 12.345 and one without a value;
// lfb.ft -2.5 -1.5; kgf.cm 125.8 alone; kgf.m 0.1 three times (one failed),
// which do not add up to 0.3 exactly, on the lower limit of 0.1:13.
TEST(UploadStats, PerUnitFiguresAndCapabilityAgainstLimits) {
    const std::vector<Reading> readings = {
        {"N.m", 12.34, false},   {"kgf.cm", 125.8, false}, {"N.m", 12.51, false},
        {"N.m", {}, false},      {"lfb.ft", -2.5, false},  {"N.m", -0.35, true},
        {"kgf.m", 0.1, false},   {"kgf.m", 0.1, true},     {"N.m", 11.99, false},
        {"lfb.ft", -1.5, false}, {"kgf.m", 0.1, false},    {"N.m", 12.345, false},
    };
    const UploadSummary summary = Summarise(readings, Limits{0.1, 13.0});
    EXPECT_EQ(summary.noValue, 1);
    ASSERT_EQ(summary.units.size(), 4u);

    struct Expected {
        std::string unit;
        std::array<int, 4> counts;         // count, passed, failed, outside
        std::optional<double> figures[7];  // mean, min, max, range, s, Cm, Cmk
    };
    const Expected table[] = {
        {"N.m",
         {5, 4, 1, 1},
         {9.767, -0.35, 12.51, 12.86, 5.6587516291139695, 0.3799424574385571, 0.1904424751781171}},
        {"kgf.cm", {1, 1, 0, 1}, {125.8, 125.8, 125.8, 0.0, {}, {}, {}}},
        {"lfb.ft",
         {2, 2, 0, 2},
         {-2.0, -2.5, -1.5, 1.0, 0.7071067811865476, 3.040559159102154, -0.9899494936611665}},
        {"kgf.m", {3, 2, 1, 0}, {0.1, 0.1, 0.1, 0.0, 0.0, {}, {}}},  // s = 0: no indices
    };
    for (std::size_t i = 0; i < std::size(table); ++i) {
        const Expected& e = table[i];
        const UnitSummary& u = summary.units[i];
        SCOPED_TRACE(e.unit);
        EXPECT_EQ(u.unit, e.unit);
        EXPECT_EQ((std::array{u.count, u.passed, u.failed, u.outside}), e.counts);
        const std::optional<double> got[] = {u.mean, u.min, u.max, u.range, u.s, u.cm, u.cmk};
        for (int k = 0; k < 7; ++k) {
            ASSERT_EQ(got[k].has_value(), e.figures[k].has_value()) << k;
            EXPECT_NEAR(got[k].value_or(0), e.figures[k].value_or(0), 1e-9) << k;
        }
    }
}

}  // namespace
