#include "upload_table.h"

#include <cstdio>

namespace {

// RFC 4180: quoted only when the text would otherwise break the row.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

std::string FormatUpload(const UploadState& state, bool csv) {
    std::string out = "Full Range: " + state.rangeText + "\n";
    out += "Data Length: " + state.lengthText + "\n";
    const TextList& list = state.list;
    const char separator = csv ? ',' : '\t';
    auto cell = [&](const std::string& text) { return csv ? CsvField(text) : text; };
    for (int column = 0; column < list.GetColumnCount(); ++column) {
        if (column > 0) out += separator;
        out += cell(list.GetColumnText(column));
    }
    out += csv ? "\r\n" : "\n";
    for (int row = 0; row < list.GetItemCount(); ++row) {
        for (int column = 0; column < list.GetColumnCount(); ++column) {
            if (column > 0) out += separator;
            out += cell(list.GetItemText(row, column));
        }
        out += csv ? "\r\n" : "\n";
    }
    return out;
}

int ReportUpload(const UploadState& state, int port, long timeoutSeconds, bool csv,
                 bool lineFailed) {
    if (!state.exportEnabled) {
        if (lineFailed)
            std::fprintf(stderr, "kelvarin-upload: the line to port %d failed after %d record(s)\n",
                         port, state.list.GetItemCount());
        else
            std::fprintf(stderr,
                         "kelvarin-upload: no complete upload from port %d within %ld s "
                         "(%d record(s) received)\n",
                         port, timeoutSeconds, state.list.GetItemCount());
        return 1;
    }
    const std::string table = FormatUpload(state, csv);
    std::fwrite(table.data(), 1, table.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
