#pragma once

#include <string>
#include <vector>

#include "upload_stats.h"

// The report's two charts as inline SVG: self-contained, sized by their
// viewBox, every text escaped.

// Ticks at 1, 2 or 5 times a power of ten covering [low, high].
struct Axis {
    double low = 0.0, high = 1.0, step = 1.0;
    std::vector<double> ticks;
};
Axis NiceAxis(double low, double high, int wantedTicks);

// A tick's label with as many decimals as the step needs.
std::string TickText(double value, double step);

// & < > " ' as references, control characters as \xHH, broken UTF-8 as
// U+FFFD: safe in HTML and SVG text and attributes.
std::string MarkupText(const std::string& text);

// The bins' rule, named in the report.
constexpr const char* kBinRule = "Sturges' rule, ⌈log₂ n⌉ + 1 bins of equal width";

// The histogram of `values` with the normal curve of the figures' mean and
// s (when there is one), the limits and the mean.
std::string HistogramSvg(const std::vector<double>& values, const UnitSummary& figures,
                         const Limits& limits, const std::string& unit);

// The readings in order, as one path, with the mean, mean ± 3s, the limits
// and the readings outside them marked.
std::string RunChartSvg(const std::vector<double>& values, const UnitSummary& figures,
                        const Limits& limits, const std::string& unit);
