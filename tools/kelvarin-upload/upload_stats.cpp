#include "upload_stats.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

std::optional<double> ValueOf(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return {};
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value)) return {};
    return value;
}

std::vector<Reading> ReadingsOf(const TextList& list) {
    std::vector<Reading> readings;
    for (int row = 0; row < list.GetItemCount(); ++row)
        readings.push_back({list.GetItemText(row, 2), ValueOf(list.GetItemText(row, 1)),
                            list.GetItemText(row, 3) == "failed"});
    return readings;
}

namespace {

UnitSummary SummariseUnit(const std::string& unit, const std::vector<Reading>& readings,
                          const std::optional<Limits>& limits) {
    UnitSummary summary;
    summary.unit = unit;
    double sum = 0.0;
    for (const Reading& r : readings) {
        if (r.unit != unit || !r.value) continue;
        const double v = *r.value;
        summary.min = summary.count == 0 ? v : std::min(summary.min, v);
        summary.max = summary.count == 0 ? v : std::max(summary.max, v);
        ++summary.count;
        (r.failed ? summary.failed : summary.passed) += 1;
        sum += v;
        if (limits && (v < limits->lower || v > limits->upper)) ++summary.outside;
    }
    summary.mean = sum / summary.count;
    summary.range = summary.max - summary.min;
    if (summary.count >= 2) {
        // Two passes: the deviations are small against the values.
        double squares = 0.0;
        for (const Reading& r : readings)
            if (r.unit == unit && r.value)
                squares += (*r.value - summary.mean) * (*r.value - summary.mean);
        // Equal values have no spread, whatever rounding the mean picked up.
        summary.s = summary.range == 0.0 ? 0.0 : std::sqrt(squares / (summary.count - 1));
    }
    if (limits && summary.s && *summary.s > 0.0) {
        summary.cm = (limits->upper - limits->lower) / (6.0 * *summary.s);
        summary.cmk = std::min(limits->upper - summary.mean, summary.mean - limits->lower) /
                      (3.0 * *summary.s);
    }
    return summary;
}

}  // namespace

UploadSummary Summarise(const std::vector<Reading>& readings, std::optional<Limits> limits) {
    UploadSummary summary;
    summary.limits = limits;
    std::vector<std::string> units;
    for (const Reading& r : readings) {
        if (!r.value) {
            ++summary.noValue;
            continue;
        }
        if (std::find(units.begin(), units.end(), r.unit) == units.end()) units.push_back(r.unit);
    }
    for (const std::string& unit : units)
        summary.units.push_back(SummariseUnit(unit, readings, limits));
    return summary;
}
