#include "history_output.h"

#include <cstdio>

namespace {

constexpr const char* kKeys[] = {"id",          "finished", "source",    "version",
                                 "host",        "user",     "port",      "device",
                                 "tool",        "operator", "job",       "full_range",
                                 "data_length", "records",  "repeat_of", "last_ack_written"};

// The fields in the order of kKeys; JSON literals where `json`, else texts
// (empty for null).
std::vector<std::string> Fields(const UploadInfo& u, bool json) {
    const auto text = [&](const std::string& value) { return json ? JsonString(value) : value; };
    const auto tag = [&](const std::optional<std::string>& value) {
        return value ? text(*value) : json ? "null" : "";
    };
    const auto number = [&](const std::string& value) {
        return ValueOf(value) ? value : json ? "null" : value;
    };
    return {std::to_string(u.id),
            text(u.finished),
            text(u.source),
            text(u.version),
            text(u.host),
            text(u.user),
            std::to_string(u.port),
            text(u.device),
            tag(u.tags.tool),
            tag(u.tags.operatorName),
            tag(u.tags.job),
            number(u.fullRange),
            number(u.dataLength),
            std::to_string(u.records),
            u.repeatOf ? std::to_string(*u.repeatOf)
            : json     ? "null"
                       : "",
            json ? (u.lastAckWritten ? "true" : "false") : (u.lastAckWritten ? "yes" : "no")};
}

}  // namespace

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> UploadFieldTexts(const UploadInfo& info) {
    const std::vector<std::string> fields = Fields(info, false);
    std::vector<std::pair<std::string, std::string>> texts;
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (std::string(kKeys[i]) != "full_range" && std::string(kKeys[i]) != "data_length")
            texts.emplace_back(kKeys[i], fields[i]);
    return texts;
}

std::string UploadJson(const UploadInfo& info) {
    const std::vector<std::string> fields = Fields(info, true);
    std::string out = "{";
    for (std::size_t i = 0; i < fields.size(); ++i)
        out += (i ? ", \"" : "\"") + std::string(kKeys[i]) + "\": " + fields[i];
    return out + "}";
}

std::string UploadList(const std::vector<UploadInfo>& uploads, OutputFormat format) {
    if (format == OutputFormat::Json) {
        std::string out = "[";
        for (std::size_t i = 0; i < uploads.size(); ++i)
            out += (i ? ",\n  " : "\n  ") + UploadJson(uploads[i]);
        return out + (uploads.empty() ? "]\n" : "\n]\n");
    }
    const bool csv = format == OutputFormat::Csv;
    const char* end = csv ? "\r\n" : "\n";
    std::string out;
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        if (i) out += csv ? ',' : '\t';
        for (const char* k = kKeys[i]; *k; ++k)
            out += csv ? *k : static_cast<char>(*k >= 'a' && *k <= 'z' ? *k - 32 : *k);
    }
    out += end;
    for (const UploadInfo& u : uploads) {
        const std::vector<std::string> fields = Fields(u, false);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) out += csv ? ',' : '\t';
            out += csv ? CsvField(fields[i]) : Escaped(fields[i]);
        }
        out += end;
    }
    return out;
}
