#include "upload_table.h"

#include <cmath>
#include <cstdio>
#include <vector>

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

namespace {

std::string Fixed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string JsonFigure(const std::optional<double>& value) {
    return value && std::isfinite(*value) ? Fixed(*value) : "null";
}

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string SummaryJson(const UploadSummary& summary) {
    std::string out = "{\n    \"units\": [";
    for (std::size_t i = 0; i < summary.units.size(); ++i) {
        const UnitSummary& u = summary.units[i];
        out += i == 0 ? "\n" : ",\n";
        out += "      {\"unit\": " + JsonString(u.unit) +
               ", \"count\": " + std::to_string(u.count) +
               ", \"passed\": " + std::to_string(u.passed) +
               ", \"failed\": " + std::to_string(u.failed) + ", \"mean\": " + JsonFigure(u.mean) +
               ", \"s\": " + JsonFigure(u.s) + ", \"min\": " + JsonFigure(u.min) +
               ", \"max\": " + JsonFigure(u.max) + ", \"range\": " + JsonFigure(u.range);
        if (summary.limits)
            out += ", \"outside\": " + std::to_string(u.outside) + ", \"cm\": " + JsonFigure(u.cm) +
                   ", \"cmk\": " + JsonFigure(u.cmk);
        out += "}";
    }
    out += summary.units.empty() ? "],\n" : "\n    ],\n";
    out += "    \"no_value\": " + std::to_string(summary.noValue);
    if (summary.limits)
        out += ",\n    \"limits\": {\"lower\": " + Fixed(summary.limits->lower) +
               ", \"upper\": " + Fixed(summary.limits->upper) + "}";
    return out + "\n  }";
}

namespace {

std::string Json(const TextList& list, const std::string& rangeText, const std::string& lengthText,
                 const UploadSummary* summary, const std::string& uploadJson) {
    std::string out = "{\n  ";
    if (!uploadJson.empty()) out += "\"upload\": " + uploadJson + ",\n  ";
    out += "\"full_range\": ";
    out += ValueOf(rangeText) ? rangeText : "null";
    out += ",\n  \"data_length\": ";
    out += ValueOf(lengthText) ? lengthText : "null";
    out += ",\n  \"records\": [";
    for (int row = 0; row < list.GetItemCount(); ++row) {
        out += row == 0 ? "\n" : ",\n";
        const std::string data = list.GetItemText(row, 1);
        const std::optional<double> value = ValueOf(data);
        out += "    {\"id\": " + JsonString(list.GetItemText(row, 0)) +
               ", \"data\": " + JsonString(data) +
               ", \"unit\": " + JsonString(list.GetItemText(row, 2)) +
               ", \"pass\": " + JsonString(list.GetItemText(row, 3)) +
               ", \"value\": " + JsonFigure(value) + "}";
    }
    out += list.GetItemCount() == 0 ? "]" : "\n  ]";
    if (summary) out += ",\n  \"summary\": " + SummaryJson(*summary);
    return out + "\n}\n";
}

std::string Table(const TextList& list, bool csv) {
    std::string out;
    const char separator = csv ? ',' : '\t';
    const char* end = csv ? "\r\n" : "\n";
    auto cell = [&](const std::string& text) { return csv ? CsvField(text) : text; };
    for (int column = 0; column < list.GetColumnCount(); ++column) {
        if (column > 0) out += separator;
        out += cell(list.GetColumnText(column));
    }
    out += end;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        for (int column = 0; column < list.GetColumnCount(); ++column) {
            if (column > 0) out += separator;
            out += cell(list.GetItemText(row, column));
        }
        out += end;
    }
    return out;
}

}  // namespace

std::string JsonString(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            out += length ? text.substr(i, length) : "\xEF\xBF\xBD";
            i += length ? length : 1;
            continue;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + '"';
}

bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::optional<OutputFormat> OutputFormatNamed(const std::string& name) {
    if (name == "text") return OutputFormat::Text;
    if (name == "csv") return OutputFormat::Csv;
    if (name == "json") return OutputFormat::Json;
    if (name == "xlsx") return OutputFormat::Xlsx;
    return {};
}

std::string FigureText(const std::optional<double>& value) {
    // A figure too large for a double (Cm of limits 1e308 apart) is not
    // available either: "inf" is no number a reader takes.
    return value && std::isfinite(*value) ? Fixed(*value) : "not available";
}

std::string ValidUtf8(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            out += text[i++];
            continue;
        }
        const std::size_t length = Utf8Length(text, i);
        out += length ? text.substr(i, length) : "\xEF\xBF\xBD";
        i += length ? length : 1;
    }
    return out;
}

namespace {

// The summary's table by unit, cells separated by `separator`, each passed
// through `cell`.
template <typename Cell>
std::string SummaryTable(const UploadSummary& summary, char separator, const char* end, Cell cell) {
    std::vector<std::string> heading = {"UNIT", "COUNT", "PASSED", "FAILED", "MEAN",
                                        "S",    "MIN",   "MAX",    "RANGE"};
    if (summary.limits) heading.insert(heading.end(), {"OUTSIDE", "CM", "CMK"});
    std::vector<std::vector<std::string>> rows = {heading};
    for (const UnitSummary& u : summary.units) {
        rows.push_back({u.unit, std::to_string(u.count), std::to_string(u.passed),
                        std::to_string(u.failed), FigureText(u.mean), FigureText(u.s),
                        FigureText(u.min), FigureText(u.max), FigureText(u.range)});
        if (summary.limits)
            rows.back().insert(rows.back().end(),
                               {std::to_string(u.outside), FigureText(u.cm), FigureText(u.cmk)});
    }
    std::string out;
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0) out += separator;
            out += cell(row[i]);
        }
        out += end;
    }
    return out;
}

}  // namespace

std::string SummaryCsv(const UploadSummary& summary) {
    return SummaryTable(summary, ',', "\r\n", CsvField);
}

std::string SummaryText(const UploadSummary& summary) {
    std::string out =
        SummaryTable(summary, '\t', "\n", [](const std::string& text) { return text; });
    out += "Without a value: " + std::to_string(summary.noValue) + "\n";
    if (summary.limits)
        out += "Limits: " + Fixed(summary.limits->lower) + " to " + Fixed(summary.limits->upper) +
               "\n";
    return out;
}

FormattedUpload FormatUpload(const TextList& list, const std::string& rangeText,
                             const std::string& lengthText, OutputFormat format,
                             const UploadSummary* summary, const std::string& uploadJson) {
    const std::string fields = "Full Range: " + rangeText + "\nData Length: " + lengthText + "\n";
    const std::string summaryText = summary ? SummaryText(*summary) : std::string();
    switch (format) {
        case OutputFormat::Csv:
            return {Table(list, true), fields + summaryText};
        case OutputFormat::Json:
            return {Json(list, rangeText, lengthText, summary, uploadJson), {}};
        case OutputFormat::Text:
        case OutputFormat::Xlsx:  // made by UploadWorkbook
            break;
    }
    return {fields + Table(list, false) + (summary ? "\n" + summaryText : ""), {}};
}
