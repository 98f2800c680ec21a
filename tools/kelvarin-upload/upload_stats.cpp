#include "upload_stats.h"

#include <algorithm>
#include <cmath>

std::vector<Reading> ReadingsOf(const TextList& list) {
    std::vector<Reading> readings;
    for (int row = 0; row < list.GetItemCount(); ++row)
        readings.push_back({list.GetItemText(row, 2), ValueOf(list.GetItemText(row, 1)),
                            list.GetItemText(row, 3) == "failed"});
    return readings;
}

SummaryBuilder::SummaryBuilder(std::optional<Limits> limits) : m_limits(limits) {}

void SummaryBuilder::Add(std::string_view unit, std::optional<double> value, bool failed) {
    if (!value) {
        ++m_noValue;
        return;
    }
    if (m_last >= m_units.size() || m_units[m_last].figures.unit != unit) {
        m_last = 0;
        while (m_last < m_units.size() && m_units[m_last].figures.unit != unit) ++m_last;
        if (m_last == m_units.size()) {
            m_units.emplace_back();
            m_units.back().figures.unit = unit;
        }
    }
    Running& r = m_units[m_last];
    UnitSummary& u = r.figures;
    const double v = *value;
    u.min = u.count == 0 ? v : std::min(u.min, v);
    u.max = u.count == 0 ? v : std::max(u.max, v);
    ++u.count;
    (failed ? u.failed : u.passed) += 1;
    if (m_limits && (v < m_limits->lower || v > m_limits->upper)) ++u.outside;
    // Welford's update: stable for values far from zero with a small spread,
    // and one pass over readings that need not fit in memory.
    r.sum += v;
    const double delta = v - u.mean;
    u.mean += delta / u.count;
    r.m2 += delta * (v - u.mean);
}

UploadSummary SummaryBuilder::Finish() const {
    UploadSummary summary;
    summary.limits = m_limits;
    summary.noValue = m_noValue;
    for (const Running& r : m_units) {
        UnitSummary u = r.figures;
        // The plain mean where it is exact (equal values); the running one
        // drifts by rounding otherwise.
        u.mean = r.sum / u.count;
        u.range = u.max - u.min;
        if (u.count >= 2)
            // Equal values have no spread, whatever rounding picked up.
            u.s = u.range == 0.0 ? 0.0 : std::sqrt(std::max(r.m2, 0.0) / (u.count - 1));
        if (m_limits && u.s && *u.s > 0.0) {
            u.cm = (m_limits->upper - m_limits->lower) / (6.0 * *u.s);
            u.cmk = std::min(m_limits->upper - u.mean, u.mean - m_limits->lower) / (3.0 * *u.s);
        }
        summary.units.push_back(std::move(u));
    }
    return summary;
}

UploadSummary Summarise(const std::vector<Reading>& readings, std::optional<Limits> limits) {
    SummaryBuilder builder(limits);
    for (const Reading& r : readings) builder.Add(r.unit, r.value, r.failed);
    return builder.Finish();
}
