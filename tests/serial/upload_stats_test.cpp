#include "upload_stats.h"

#include <gtest/gtest.h>

#include <array>

namespace {

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
