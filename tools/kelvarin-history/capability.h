#pragma once

#include <optional>
#include <string>
#include <vector>

#include "upload_stats.h"

// A machine capability study of one unit's readings against its limits:
// the figures are the summary's (the same code as `stats`), the verdict and
// the normality test are the report's own.

// The Anderson–Darling test for a normal distribution whose mean and s are
// estimated from the readings.
struct NormalityTest {
    double a2 = 0.0;      // A²
    double a2star = 0.0;  // A*² = A²(1 + 0.75/n + 2.25/n²)
    double p = 0.0;       // D'Agostino and Stephens' approximation from A*²
};

// Empty for fewer than two readings or no spread (s = 0).
std::optional<NormalityTest> AndersonDarling(std::vector<double> values, double mean, double s);

struct Thresholds {
    double cm = 2.00;  // the usual minimum in automotive practice
    double cmk = 1.67;
};

enum class Verdict { Capable, NotCapable, NotAssessable };

// Not assessable without Cm and Cmk (fewer than two readings, or s = 0).
Verdict Judge(const UnitSummary& figures, const Thresholds& thresholds);

// "capable", "not capable", "not assessable".
const char* VerdictText(Verdict verdict);

// What the p-value means, in one plain sentence.
std::string NormalitySentence(const NormalityTest& test, int n);
