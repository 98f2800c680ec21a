#include "report_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "upload_table.h"

namespace {

// The plot area inside each chart's 680 × 240 viewBox.
constexpr double kWidth = 680, kHeight = 240;
constexpr double kLeft = 64, kRight = 664, kTop = 14, kBottom = 200;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

struct Scale {
    Axis axis;
    double from, to;  // pixels of axis.low and axis.high
    double operator()(double v) const {
        return from + (v - axis.low) / (axis.high - axis.low) * (to - from);
    }
};

// The span a value axis needs: the readings, the limits, mean ± 3s.
std::pair<double, double> ValueSpan(const std::vector<double>& values, const UnitSummary& f,
                                    const Limits& limits) {
    double low = std::min(limits.lower, f.min), high = std::max(limits.upper, f.max);
    if (f.s && *f.s > 0) {
        low = std::min(low, f.mean - 3 * *f.s);
        high = std::max(high, f.mean + 3 * *f.s);
    }
    (void)values;
    return {low, high};
}

std::string Text(double x, double y, const std::string& text, const char* anchor,
                 const char* cls = "") {
    return "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" text-anchor=\"" + anchor + "\"" +
           (*cls ? std::string(" class=\"") + cls + "\"" : "") + ">" + MarkupText(text) + "</text>";
}

std::string Line(double x1, double y1, double x2, double y2, const char* cls) {
    return "<path class=\"" + std::string(cls) + "\" d=\"M" + Number(x1) + " " + Number(y1) + "L" +
           Number(x2) + " " + Number(y2) + "\"/>";
}

// Frame, ticks and labels; `x` and `y` map values to pixels.
std::string Axes(const Scale& x, const Scale& y, const std::string& xTitle,
                 const std::string& yTitle) {
    std::string out = "<path class=\"frame\" d=\"M" + Number(kLeft) + " " + Number(kTop) + "V" +
                      Number(kBottom) + "H" + Number(kRight) + "\"/>";
    for (double t : x.axis.ticks) {
        out += Line(x(t), kBottom, x(t), kBottom + 4, "frame");
        out += Text(x(t), kBottom + 16, TickText(t, x.axis.step), "middle");
    }
    for (double t : y.axis.ticks) {
        out += Line(kLeft - 4, y(t), kLeft, y(t), "frame");
        out += Text(kLeft - 7, y(t) + 4, TickText(t, y.axis.step), "end");
    }
    out += Text((kLeft + kRight) / 2, kHeight - 8, xTitle, "middle", "title");
    out += "<text class=\"title\" transform=\"translate(14 " + Number((kTop + kBottom) / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">" + MarkupText(yTitle) + "</text>";
    return out;
}

// A labelled vertical (histogram) or horizontal (run chart) line; a
// vertical one's label inside the plot, before the line when `before`.
std::string Marker(bool vertical, double at, const char* cls, const std::string& label,
                   bool before = false) {
    if (vertical)
        return Line(at, kTop, at, kBottom, cls) +
               Text(before ? at - 3 : at + 3, kTop + 10, label, before ? "end" : "start", cls);
    return Line(kLeft, at, kRight, at, cls) + Text(kRight + 2, at + 4, label, "start", cls);
}

std::string Svg(const std::string& label, const std::string& body) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Number(kWidth + 60) + " " +
           Number(kHeight) + "\" role=\"img\" aria-label=\"" + MarkupText(label) + "\">" + body +
           "</svg>";
}

}  // namespace

Axis NiceAxis(double low, double high, int wantedTicks) {
    if (!(high > low)) {
        const double pad = std::max(std::fabs(low) * 0.01, 1e-6);
        low -= pad;
        high += pad;
    }
    const double rough = (high - low) / std::max(wantedTicks - 1, 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= rough) {
            step = m * power;
            break;
        }
    Axis axis;
    axis.step = step;
    axis.low = std::floor(low / step) * step;
    axis.high = std::ceil(high / step) * step;
    for (double t = axis.low; t <= axis.high + step * 1e-9; t += step)
        axis.ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
    return axis;
}

std::string TickText(double value, double step) {
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 9);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string MarkupText(const std::string& text) {
    std::string out;
    for (const char c : ValidUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string HistogramSvg(const std::vector<double>& values, const UnitSummary& f,
                         const Limits& limits, const std::string& unit) {
    const std::size_t n = values.size();
    const int bins =
        n == 0 ? 1 : static_cast<int>(std::ceil(std::log2(static_cast<double>(n)))) + 1;
    const double width = f.range > 0 ? f.range / bins : 0.0;
    std::vector<int> counts(static_cast<std::size_t>(width > 0 ? bins : 1), 0);
    for (double v : values) {
        const auto bin = width > 0 ? static_cast<std::size_t>((v - f.min) / width) : 0;
        ++counts[std::min(bin, counts.size() - 1)];
    }
    const auto [low, high] = ValueSpan(values, f, limits);
    const Scale x{NiceAxis(low, high, 8), kLeft, kRight};
    const bool curve = f.s && *f.s > 0 && width > 0;
    // The curve's peak, in readings per bin.
    const double peak = curve ? n * width / (*f.s * std::sqrt(2 * std::numbers::pi)) : 0.0;
    const double most =
        std::max(static_cast<double>(*std::max_element(counts.begin(), counts.end())), peak);
    const Scale y{NiceAxis(0, std::max(most, 1.0), 5), kBottom, kTop};

    std::string body = Axes(x, y, unit.empty() ? "value" : unit, "readings per bin");
    body += "<path class=\"bars\" d=\"";
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0) continue;
        const double left = width > 0 ? x(f.min + i * width) : x(f.min) - 3;
        const double right = width > 0 ? x(f.min + (i + 1) * width) : x(f.min) + 3;
        body += "M" + Number(left) + " " + Number(kBottom) + "V" + Number(y(counts[i])) + "H" +
                Number(right) + "V" + Number(kBottom) + "Z";
    }
    body += "\"/>";
    if (curve) {
        body += "<path class=\"curve\" d=\"";
        for (int i = 0; i <= 120; ++i) {
            const double v = x.axis.low + (x.axis.high - x.axis.low) * i / 120.0;
            const double z = (v - f.mean) / *f.s;
            body += (i ? "L" : "M") + Number(x(v)) + " " + Number(y(peak * std::exp(-z * z / 2)));
        }
        body += "\"/>";
    }
    body += Marker(true, x(limits.lower), "limit", "lower limit");
    body += Marker(true, x(limits.upper), "limit", "upper limit", true);
    body += Marker(true, x(f.mean), "mean", "mean");
    return Svg("Histogram of the readings", body);
}

std::string RunChartSvg(const std::vector<double>& values, const UnitSummary& f,
                        const Limits& limits, const std::string& unit) {
    const std::size_t n = values.size();
    const auto [low, high] = ValueSpan(values, f, limits);
    const Scale y{NiceAxis(low, high, 6), kBottom, kTop};
    const Scale x{NiceAxis(1, std::max<double>(static_cast<double>(n), 2), 8), kLeft, kRight};

    std::string body =
        Axes(x, y, "reading, in upload and record order", unit.empty() ? "value" : unit);
    std::string line, outside;
    line.reserve(n * 13);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string point =
            Number(x(static_cast<double>(i + 1))) + " " + Number(y(values[i]));
        line += (i ? "L" : "M") + point;
        if (values[i] < limits.lower || values[i] > limits.upper) outside += "M" + point + "h0";
    }
    body += "<path class=\"run\" d=\"" + line + "\"/>";
    if (!outside.empty()) body += "<path class=\"outside\" d=\"" + outside + "\"/>";
    body += Marker(false, y(limits.lower), "limit", "lower limit");
    body += Marker(false, y(limits.upper), "limit", "upper limit");
    body += Marker(false, y(f.mean), "mean", "mean");
    if (f.s && *f.s > 0) {
        body += Marker(false, y(f.mean - 3 * *f.s), "sigma", "−3s");
        body += Marker(false, y(f.mean + 3 * *f.s), "sigma", "+3s");
    }
    return Svg("Run chart of the readings", body);
}
