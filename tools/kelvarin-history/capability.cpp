#include "capability.h"

#include <algorithm>
#include <cmath>

namespace {

// log Φ(z) and log(1 − Φ(z)) = log Φ(−z), without the cancellation of
// 1 − Φ(z) far out in a tail.
double LogPhi(double z) {
    return std::log(0.5 * std::erfc(-z / std::sqrt(2.0)));
}

}  // namespace

std::optional<NormalityTest> AndersonDarling(std::vector<double> values, double mean, double s) {
    const std::size_t n = values.size();
    if (n < 2 || !(s > 0.0)) return {};
    std::sort(values.begin(), values.end());
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double low = (values[i] - mean) / s;
        const double high = (values[n - 1 - i] - mean) / s;
        sum += (2.0 * static_cast<double>(i) + 1.0) * (LogPhi(low) + LogPhi(-high));
    }
    const double count = static_cast<double>(n);
    NormalityTest test;
    test.a2 = -count - sum / count;
    test.a2star = test.a2 * (1.0 + 0.75 / count + 2.25 / (count * count));
    // D'Agostino and Stephens (1986), table 4.9, for the case of both
    // parameters estimated.
    const double a = test.a2star;
    if (a >= 0.6)
        test.p = std::exp(1.2937 - 5.709 * a + 0.0186 * a * a);
    else if (a >= 0.34)
        test.p = std::exp(0.9177 - 4.279 * a - 1.38 * a * a);
    else if (a >= 0.2)
        test.p = 1.0 - std::exp(-8.318 + 42.796 * a - 59.938 * a * a);
    else
        test.p = 1.0 - std::exp(-13.436 + 101.14 * a - 223.73 * a * a);
    test.p = std::clamp(test.p, 0.0, 1.0);
    return test;
}

Verdict Judge(const UnitSummary& figures, const Thresholds& thresholds) {
    if (!figures.cm || !figures.cmk || !std::isfinite(*figures.cm) || !std::isfinite(*figures.cmk))
        return Verdict::NotAssessable;
    return *figures.cm >= thresholds.cm && *figures.cmk >= thresholds.cmk ? Verdict::Capable
                                                                          : Verdict::NotCapable;
}

const char* VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Capable:
            return "capable";
        case Verdict::NotCapable:
            return "not capable";
        case Verdict::NotAssessable:
            break;
    }
    return "not assessable";
}

std::string NormalitySentence(const NormalityTest& test, int n) {
    std::string sentence =
        test.p >= 0.05
            ? "Nothing speaks against a normal distribution (p ≥ 0.05), which Cm and Cmk assume."
            : "The readings are unlikely to come from a normal distribution (p < 0.05): Cm and "
              "Cmk, "
              "which assume one, may misstate the capability; look at the histogram and the run "
              "chart for drift, steps or outliers.";
    if (n < 8) sentence += " With fewer than 8 readings the test says little.";
    return sentence;
}
