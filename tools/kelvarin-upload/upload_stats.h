#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/data_value.h"
#include "protocol/text_list.h"

// One reading as the list shows it: its unit text, its value when the DATA
// column holds a number, and whether the PASS column says "failed".
struct Reading {
    std::string unit;
    std::optional<double> value;
    bool failed = false;
};

struct Limits {
    double lower = 0.0;
    double upper = 0.0;
};

// The figures of one unit's readings that have a value. Figures that do not
// exist for the readings at hand (s of one value, Cm with s = 0) are empty.
struct UnitSummary {
    std::string unit;
    int count = 0;
    int passed = 0;
    int failed = 0;
    double mean = 0.0;
    std::optional<double> s;  // sample standard deviation
    double min = 0.0;
    double max = 0.0;
    double range = 0.0;
    // With limits only.
    int outside = 0;
    std::optional<double> cm;
    std::optional<double> cmk;
};

struct UploadSummary {
    std::vector<UnitSummary> units;  // in order of first appearance
    int noValue = 0;                 // readings without a value, all units
    std::optional<Limits> limits;
};

// The readings of the list's rows (columns ID, DATA, UNIT, PASS).
std::vector<Reading> ReadingsOf(const TextList& list);

// The summary built one reading at a time, in the order of the list, so
// that any number of stored readings can be summarised without holding them.
class SummaryBuilder {
public:
    explicit SummaryBuilder(std::optional<Limits> limits);
    void Add(std::string_view unit, std::optional<double> value, bool failed);
    UploadSummary Finish() const;

private:
    struct Running {
        UnitSummary figures;
        double sum = 0.0;
        double m2 = 0.0;  // sum of squared deviations from the running mean
    };
    std::optional<Limits> m_limits;
    std::vector<Running> m_units;
    std::size_t m_last = 0;  // the unit added last: the next is most likely the same
    int m_noValue = 0;
};

UploadSummary Summarise(const std::vector<Reading>& readings, std::optional<Limits> limits);
