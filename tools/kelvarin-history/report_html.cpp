#include "report_html.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "report_chart.h"
#include "upload_table.h"

namespace {

constexpr const char* kStyle = R"css(
@page { size: A4; margin: 11mm 12mm; }
body { font: 9.5pt/1.35 "DejaVu Sans", Arial, sans-serif; color: #111; max-width: 190mm;
       margin: 0 auto; }
h1 { font-size: 15pt; margin: 0 0 1mm; }
h2 { font-size: 10.5pt; margin: 3mm 0 1mm; border-bottom: 0.3mm solid #999; }
p { margin: 1mm 0; }
.sub, .note { color: #444; font-size: 8.5pt; }
.verdict { font-size: 12pt; padding: 1.5mm 3mm; border-radius: 1mm; margin: 2mm 0; }
.capable { background: #dff3e0; border: 0.4mm solid #2e7d32; }
.not-capable { background: #fde2e1; border: 0.4mm solid #c62828; }
.not-assessable { background: #eee; border: 0.4mm solid #777; }
.warning { color: #8a4b00; font-weight: bold; }
.cols { display: flex; gap: 6mm; }
.cols > table { flex: 1; }
table { border-collapse: collapse; font-size: 9pt; }
th { text-align: left; font-weight: normal; color: #444; padding: 0.3mm 3mm 0.3mm 0; }
td { padding: 0.3mm 0; font-variant-numeric: tabular-nums; word-break: break-word; }
svg { width: 100%; height: auto; max-height: 64mm; display: block; }
svg text { font: 11px "DejaVu Sans", Arial, sans-serif; fill: #222; }
svg .title { font-size: 12px; }
svg .frame { stroke: #333; fill: none; }
svg .bars { fill: #9ec5e8; stroke: #3d6d99; stroke-width: 0.6; }
svg .curve { fill: none; stroke: #1f4e79; stroke-width: 1.6; }
svg .run { fill: none; stroke: #1f4e79; stroke-width: 0.9; stroke-linejoin: round; }
svg .outside { stroke: #c62828; stroke-width: 5; stroke-linecap: round; }
svg path.limit { stroke: #c62828; stroke-width: 1.2; stroke-dasharray: 6 3; }
svg path.mean { stroke: #2e7d32; stroke-width: 1.2; }
svg path.sigma { stroke: #777; stroke-width: 1; stroke-dasharray: 2 3; }
svg text.limit { fill: #c62828; } svg text.mean { fill: #2e7d32; } svg text.sigma { fill: #555; }
@media print { h2 { break-after: avoid; } svg { break-inside: avoid; } }
)css";

std::string Fixed(double value, int decimals = 6) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Row(const std::string& name, const std::string& markup) {
    return "<tr><th>" + name + "</th><td>" + markup + "</td></tr>";
}

// 3, 4, 7–15
std::string IdRanges(const std::vector<UploadInfo>& uploads) {
    std::string out;
    for (std::size_t i = 0; i < uploads.size();) {
        std::size_t j = i;
        while (j + 1 < uploads.size() && uploads[j + 1].id == uploads[j].id + 1) ++j;
        out += (out.empty() ? "" : ", ") + std::to_string(uploads[i].id);
        if (j > i) out += (j == i + 1 ? ", " : "–") + std::to_string(uploads[j].id);
        i = j + 1;
    }
    return out;
}

// The distinct values of one field, escaped, "none" without any.
template <typename Field>
std::string Distinct(const std::vector<UploadInfo>& uploads, Field field) {
    std::set<std::string> seen;
    std::string out;
    for (const UploadInfo& u : uploads) {
        const std::optional<std::string> value = field(u);
        if (value && seen.insert(*value).second)
            out += (out.empty() ? "" : ", ") + MarkupText(*value);
    }
    return out.empty() ? "none" : out;
}

}  // namespace

std::string ReportHtml(const ReportInput& in) {
    const UnitSummary& f = in.figures;
    const Verdict verdict = Judge(f, in.thresholds);
    const std::string verdictClass = verdict == Verdict::Capable      ? "capable"
                                     : verdict == Verdict::NotCapable ? "not-capable"
                                                                      : "not-assessable";
    const std::string title = MarkupText(in.title);
    const std::string unit = MarkupText(in.unit);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>" +
        title + "</title><style>" + kStyle + "</style></head><body>\n";
    html += "<h1>" + title + "</h1>\n<p class=\"sub\">Machine capability study of " +
            std::to_string(f.count) + " readings in " + unit + " against the limits " +
            Fixed(in.limits.lower) + " to " + Fixed(in.limits.upper) + " " + unit + ". " +
            MarkupText(in.made) + "</p>\n";

    std::string reason;
    if (verdict == Verdict::NotAssessable)
        reason = f.count < 2 ? "fewer than two readings" : "the readings have no spread (s = 0)";
    else
        reason = "Cm " + Fixed(*f.cm, 2) + (*f.cm >= in.thresholds.cm ? " ≥ " : " < ") +
                 Fixed(in.thresholds.cm, 2) + " and Cmk " + Fixed(*f.cmk, 2) +
                 (*f.cmk >= in.thresholds.cmk ? " ≥ " : " < ") + Fixed(in.thresholds.cmk, 2);
    html += "<p class=\"verdict " + verdictClass + "\"><strong>" + VerdictText(verdict) +
            "</strong>: " + reason + "</p>\n";
    if (f.count < 50)
        html += "<p class=\"warning\">Only " + std::to_string(f.count) +
                (f.count == 1 ? " reading" : " readings") +
                ": a machine capability study needs at least 50.</p>\n";

    html += "<div class=\"cols\"><table>";
    // The figures as `stats` prints them.
    html += Row("n", std::to_string(f.count)) + Row("mean", FigureText(f.mean)) +
            Row("s", FigureText(f.s)) + Row("min", FigureText(f.min)) +
            Row("max", FigureText(f.max)) + Row("range", FigureText(f.range)) +
            Row("outside the limits", std::to_string(f.outside)) + Row("Cm", FigureText(f.cm)) +
            Row("Cmk", FigureText(f.cmk)) +
            Row("required",
                "Cm ≥ " + Fixed(in.thresholds.cm, 2) + ", Cmk ≥ " + Fixed(in.thresholds.cmk, 2));
    html += "</table><table>";
    const auto& ups = in.uploads;
    html += Row("uploads",
                std::to_string(ups.size()) + (ups.empty() ? "" : ": " + IdRanges(ups)) +
                    (in.repeats ? " (plain re-uploads included)" : " (plain re-uploads left out)"));
    if (!ups.empty())
        html += Row("finished",
                    MarkupText(ups.front().finished) + " to " + MarkupText(ups.back().finished));
    html += Row("devices", Distinct(ups, [](const UploadInfo& u) {
                    return std::optional<std::string>(u.device);
                }));
    html += Row("tools", Distinct(ups, [](const UploadInfo& u) { return u.tags.tool; }));
    html +=
        Row("operators", Distinct(ups, [](const UploadInfo& u) { return u.tags.operatorName; }));
    html += Row("jobs", Distinct(ups, [](const UploadInfo& u) { return u.tags.job; }));
    html += "</table></div>\n";

    html += "<h2>Normality</h2>\n";
    if (const auto test = AndersonDarling(in.values, f.mean, f.s.value_or(0.0)))
        html +=
            "<p>Anderson–Darling test for a normal distribution with the mean and s of the "
            "readings: A² = " +
            Fixed(test->a2, 4) + ", A*² = A²(1 + 0.75/n + 2.25/n²) = " + Fixed(test->a2star, 4) +
            ", p = " + Fixed(test->p, 4) + " (D'Agostino and Stephens). " +
            NormalitySentence(*test, f.count) + "</p>\n";
    else
        html += "<p>Not assessable: the test needs at least two readings with a spread.</p>\n";

    html += "<h2>Histogram</h2>\n" + HistogramSvg(in.values, f, in.limits, in.unit) +
            "<p class=\"note\">Bins: " + std::string(kBinRule) +
            ". The curve is the normal distribution of the readings' mean and s.</p>\n";
    html += "<h2>Run chart</h2>\n" + RunChartSvg(in.values, f, in.limits, in.unit);

    html += "<h2>Readings outside the limits</h2>\n<p>";
    if (in.outside.empty()) html += "None.";
    const std::size_t shown = std::min<std::size_t>(in.outside.size(), 20);
    for (std::size_t i = 0; i < shown; ++i)
        html += (i ? "; " : "") + std::string("upload ") + std::to_string(in.outside[i].upload) +
                ", record " + MarkupText(in.outside[i].id) + ": " + Fixed(in.outside[i].value);
    if (in.outside.size() > shown)
        html += " and " + std::to_string(in.outside.size() - shown) + " more";
    return html + "</p>\n</body></html>\n";
}
