#include "upload_workbook.h"

#include <xlsxwriter.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "narrow_file_name.h"
#include "scratch_folder.h"
#include "upload_table.h"

namespace {

namespace fs = std::filesystem;

// Texts a sheet can hold: valid UTF-8 without the control characters XML
// refuses.
std::string SheetText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            static const char kHex[] = "0123456789ABCDEF";
            out += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return ValidUtf8(out);
}

struct Sheet {
    lxw_worksheet* sheet;
    lxw_format* decimals;
    lxw_format* bold;
    void Text(int row, int column, const std::string& text, lxw_format* format = nullptr) {
        worksheet_write_string(sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
                               SheetText(text).c_str(), format);
    }
    void Number(int row, int column, double value, lxw_format* format = nullptr) {
        worksheet_write_number(sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
                               value, format);
    }
    // A number where the text is one, else the text.
    void Either(int row, int column, const std::string& text, lxw_format* format = nullptr) {
        if (const auto value = ValueOf(text))
            Number(row, column, *value, format);
        else
            Text(row, column, text);
    }
    void Figure(int row, int column, const std::optional<double>& value) {
        if (value && std::isfinite(*value))
            Number(row, column, *value, decimals);
        else
            Text(row, column, "not available");
    }
};

void WriteSummary(Sheet& s, int row, const UploadSummary& summary) {
    std::vector<std::string> heading = {"UNIT", "COUNT", "PASSED", "FAILED", "MEAN",
                                        "S",    "MIN",   "MAX",    "RANGE"};
    if (summary.limits) heading.insert(heading.end(), {"OUTSIDE", "CM", "CMK"});
    for (std::size_t c = 0; c < heading.size(); ++c)
        s.Text(row, static_cast<int>(c), heading[c], s.bold);
    for (const UnitSummary& u : summary.units) {
        ++row;
        s.Text(row, 0, u.unit);
        s.Number(row, 1, u.count);
        s.Number(row, 2, u.passed);
        s.Number(row, 3, u.failed);
        s.Figure(row, 4, u.mean);
        s.Figure(row, 5, u.s);
        s.Figure(row, 6, u.min);
        s.Figure(row, 7, u.max);
        s.Figure(row, 8, u.range);
        if (summary.limits) {
            s.Number(row, 9, u.outside);
            s.Figure(row, 10, u.cm);
            s.Figure(row, 11, u.cmk);
        }
    }
    s.Text(row + 1, 0, "Without a value");
    s.Number(row + 1, 1, summary.noValue);
    if (summary.limits) {
        s.Text(row + 2, 0, "Limits");
        s.Number(row + 2, 1, summary.limits->lower, s.decimals);
        s.Number(row + 2, 2, summary.limits->upper, s.decimals);
    }
}

}  // namespace

std::string UploadWorkbook(const WorkbookInput& in, std::string& error) {
    // The library writes only to a named file and keeps its own temporary
    // files beside it.
    const ScratchFolder folder("kelvarin-xlsx-");
    if (folder.Path().empty()) {
        error = "cannot make a temporary folder: " + folder.Error();
        return {};
    }
    // The library opens its files by narrow names.
    const std::string file = NarrowFileName(folder.Path() / "upload.xlsx");
    std::string tmp = NarrowFileName(folder.Path() / "x");
    if (file.empty() || tmp.size() < 2) {
        error = "no temporary folder whose name the workbook library can use";
        return {};
    }
    tmp.resize(tmp.size() - 2);
    lxw_workbook_options options{};
    options.tmpdir = tmp.data();
    lxw_workbook* book = workbook_new_opt(file.c_str(), &options);
    if (!book) {
        error = "cannot start a workbook";
        return {};
    }
    lxw_format* decimals = workbook_add_format(book);
    format_set_num_format(decimals, "0.000000");
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);

    Sheet list{workbook_add_worksheet(book, "List"), decimals, bold};
    for (int c = 0; c < in.list.GetColumnCount(); ++c)
        list.Text(0, c, in.list.GetColumnText(c), bold);
    // DATA shown as the list shows it: with its text's decimals, six as a rule.
    std::map<std::size_t, lxw_format*> shown;
    const auto shownAs = [&](const std::string& text) {
        const std::size_t point = text.find('.');
        const std::size_t places = point == std::string::npos ? 0 : text.size() - point - 1;
        auto& format = shown[places];
        if (!format) {
            format = workbook_add_format(book);
            format_set_num_format(format, places ? ("0." + std::string(places, '0')).c_str() : "0");
        }
        return format;
    };
    for (int r = 0; r < in.list.GetItemCount(); ++r) {
        const std::string data = in.list.GetItemText(r, 1);
        list.Either(r + 1, 0, in.list.GetItemText(r, 0));
        list.Either(r + 1, 1, data, shownAs(data));
        for (int c = 2; c < in.list.GetColumnCount(); ++c)
            list.Text(r + 1, c, in.list.GetItemText(r, c));
    }
    worksheet_set_column(list.sheet, 0, 3, 12, nullptr);

    Sheet upload{workbook_add_worksheet(book, "Upload"), decimals, bold};
    upload.Text(0, 0, "Full Range");
    upload.Either(0, 1, in.rangeText);
    upload.Text(1, 0, "Data Length");
    upload.Either(1, 1, in.lengthText);
    int row = 2;
    for (const WorkbookField& field : in.fields) {
        upload.Text(row, 0, field.name);
        if (field.number)
            upload.Either(row, 1, field.text);
        else
            upload.Text(row, 1, field.text);
        ++row;
    }
    if (in.summary) WriteSummary(upload, row + 1, *in.summary);
    worksheet_set_column(upload.sheet, 0, 0, 16, nullptr);
    worksheet_set_column(upload.sheet, 1, 11, 13, nullptr);

    if (const lxw_error result = workbook_close(book); result != LXW_NO_ERROR) {
        error = std::string("cannot make the workbook: ") + lxw_strerror(result);
        return {};
    }
    std::string bytes;
    if (!ReadWholeFile(folder.Path() / "upload.xlsx", bytes)) {
        error = "cannot read the workbook back";
        return {};
    }
    return bytes;
}
