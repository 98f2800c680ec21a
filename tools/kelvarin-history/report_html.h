#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capability.h"
#include "history/upload_entry.h"
#include "upload_stats.h"

// A reading outside the limits: which upload, which record.
struct OutsideReading {
    std::int64_t upload = 0;
    std::string id;
    double value = 0.0;
};

// Everything one capability report shows.
struct ReportInput {
    std::string title;
    std::string unit;
    Limits limits;
    Thresholds thresholds;
    std::vector<UploadInfo> uploads;  // the selection
    bool repeats = false;             // plain re-uploads included
    UnitSummary figures;              // the unit's summary, as `stats` prints it
    std::vector<double> values;       // the unit's readings in upload and record order
    std::vector<OutsideReading> outside;
    std::string made;  // when and by what, for the heading
};

// One self-contained HTML page: no script, no external resource; inline
// SVG and CSS, laid out to print on one A4 page for up to 255 readings.
std::string ReportHtml(const ReportInput& input);
