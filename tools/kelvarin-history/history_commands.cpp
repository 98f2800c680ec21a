#include "history_commands.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "console_text.h"
#include "history/history_error.h"
#include "history/history_place.h"
#include "history/history_time.h"
#include "history/record_failure.h"
#include "history_output.h"
#include "interrupt.h"
#include "kelvarin_version.h"
#include "output_file.h"
#include "protocol/text_list.h"
#include "report_html.h"
#include "scratch_folder.h"
#include "upload_workbook.h"

namespace {

struct InterruptedRun {};

// The result on standard output or in the output file, complete or not at
// all. Returns the exit status.
int Emit(const std::string& text, const HistoryOptions& options) {
    if (Interrupted()) throw InterruptedRun{};
    if (options.output.empty()) {
        if (WriteText(stdout, text)) return 0;
        WriteText(stderr, "kelvarin-history: cannot write to standard output\n");
        return 1;
    }
    std::string error, kept;
    const WriteResult written =
        WriteFileAtomically(options.output, text, options.force, error, kept);
    if (written == WriteResult::Written) return 0;
    const std::string& file = options.output;
    if (written == WriteResult::Exists) {
        WriteText(stderr, "kelvarin-history: " + file + " exists (--force replaces it)\n");
        return 2;
    }
    WriteText(stderr, "kelvarin-history: cannot write " + file + " (" + error + "); " + file +
                          " is as it was before\n");
    return 1;
}

int Show(const HistoryDb& db, const HistoryOptions& options) {
    const std::optional<UploadEntry> entry = LoadUpload(db, options.id);
    if (!entry) {
        WriteText(stderr, "kelvarin-history: no upload " + std::to_string(options.id) + " in " +
                              db.Path() + "\n");
        return 2;
    }
    TextList list;
    for (const StoredRecord& r : entry->records) {
        const int row = list.InsertItem(list.GetItemCount(), r.id);
        list.SetItemText(row, 1, r.data);
        list.SetItemText(row, 2, r.unit);
        list.SetItemText(row, 3, r.pass);
    }
    UploadSummary summary;
    if (options.summary) summary = Summarise(ReadingsOf(list), options.limits);
    if (options.format == OutputFormat::Xlsx) {
        std::vector<WorkbookField> fields;
        for (const auto& [key, text] : UploadFieldTexts(entry->info))
            fields.push_back(
                {key, text,
                 key == "id" || key == "port" || key == "records" || key == "repeat_of"});
        std::string error;
        const std::string bytes =
            UploadWorkbook({list, entry->info.fullRange, entry->info.dataLength, fields,
                            options.summary ? &summary : nullptr},
                           error);
        if (!error.empty()) {
            WriteText(stderr, "kelvarin-history: " + error + "; no file written\n");
            return 1;
        }
        return Emit(bytes, options);
    }
    const FormattedUpload result =
        FormatUpload(list, entry->info.fullRange, entry->info.dataLength, options.format,
                     options.summary ? &summary : nullptr, UploadJson(entry->info));
    WriteText(stderr, result.side);
    return Emit(result.output, options);
}

int Stats(const HistoryDb& db, const HistoryOptions& options) {
    SummaryBuilder builder(options.limits);
    std::size_t seen = 0;
    ForEachReading(db, options.selection, [&](const ReadingRow& row) {
        if ((++seen & 0xFFFF) == 0 && Interrupted()) throw InterruptedRun{};
        if (!options.unit || row.unit == *options.unit)
            builder.Add(row.unit, row.value, row.failed);
    });
    const UploadSummary summary = builder.Finish();
    switch (options.format) {
        case OutputFormat::Json:
            return Emit(SummaryJson(summary) + "\n", options);
        case OutputFormat::Csv:
            return Emit(SummaryCsv(summary), options);
        case OutputFormat::Text:
        case OutputFormat::Xlsx:  // refused for stats
            break;
    }
    return Emit(SummaryText(summary), options);
}

int Report(const HistoryDb& db, const HistoryOptions& options) {
    ReportInput input;
    input.uploads = SelectUploads(db, options.selection);
    if (input.uploads.empty()) {
        WriteText(stderr, "kelvarin-history: no upload in the selection: nothing to report\n");
        return 2;
    }
    // The readings with a value, into the same summary as `stats`; the units
    // in order of appearance, as one only can be reported.
    SummaryBuilder builder(options.limits);
    std::vector<std::string> units;
    std::size_t seen = 0;
    ForEachReading(db, options.selection, [&](const ReadingRow& row) {
        if ((++seen & 0xFFFF) == 0 && Interrupted()) throw InterruptedRun{};
        if (!row.value || (options.unit && row.unit != *options.unit)) return;
        if (std::find(units.begin(), units.end(), row.unit) == units.end())
            units.emplace_back(row.unit);
        builder.Add(row.unit, row.value, row.failed);
        input.values.push_back(*row.value);
        if (*row.value < options.limits->lower || *row.value > options.limits->upper)
            input.outside.push_back({row.upload, std::string(row.id), *row.value});
    });
    if (units.size() > 1) {
        std::string names;
        for (const std::string& unit : units) names += (names.empty() ? "" : ", ") + unit;
        WriteText(stderr, "kelvarin-history: the selection holds readings in several units (" +
                              names + "): choose one with --unit\n");
        return 2;
    }
    if (units.empty()) {
        WriteText(stderr, "kelvarin-history: no reading with a value" +
                              (options.unit ? " in " + *options.unit : "") + " in the selection\n");
        return 2;
    }
    input.figures = builder.Finish().units.at(0);
    input.unit = units[0];
    input.limits = *options.limits;
    input.thresholds = options.thresholds;
    input.repeats = options.selection.repeats;
    input.title = options.title.value_or("Machine capability study");
    input.made = "Made " + UtcText(std::chrono::system_clock::now()) +
                 " by kelvarin-history " KELVARIN_VERSION " from " + db.Path() + ".";
    return Emit(ReportHtml(input), options);
}

int Status(const std::string& path, const HistoryOptions& options) {
    std::string text = "History: " + path + "\n";
    int status = 0;
    std::error_code missing;
    if (!std::filesystem::exists(PathOf(path), missing)) {
        text += "Uploads: 0 (nothing recorded yet)\n";
    } else {
        try {
            HistoryDb db(path, HistoryDb::Access::Read);
            const HistoryCounts counts = CountHistory(db);
            text += "Schema version: " + std::to_string(db.SchemaVersion()) + "\n";
            text += "Journal: " + db.JournalMode() + "\n";
            text += "Uploads: " + std::to_string(counts.uploads) + " (" +
                    std::to_string(counts.repeats) + " plain re-uploads)\n";
            text += "Readings: " + std::to_string(counts.readings) + "\n";
            if (counts.first) text += "First upload: " + *counts.first + "\n";
            if (counts.last) text += "Last upload: " + *counts.last + "\n";
        } catch (const HistoryError& error) {
            text += std::string("Cannot be read: ") + error.what() + "\n";
            status = 1;
        }
    }
    const std::string failure = LastRecordFailure(path);
    text += "Last failure to record: " + (failure.empty() ? "none" : Escaped(failure)) + "\n";
    const int written = Emit(text, options);
    return written ? written : status;
}

int Backup(const HistoryDb& db, const HistoryOptions& options) {
    // The copy is made where nobody else reaches, then written in place all
    // or nothing like every output file.
    const ScratchFolder folder("kelvarin-history-backup-");
    if (folder.Path().empty()) {
        WriteText(stderr, "kelvarin-history: cannot make a temporary folder: " + folder.Error() +
                              "; nothing written\n");
        return 1;
    }
    const std::filesystem::path copy = folder.Path() / "history.sqlite3";
    BackUp(db, Utf8Of(copy));
    std::string bytes;
    if (!ReadWholeFile(copy, bytes)) {
        WriteText(stderr, "kelvarin-history: cannot read the copy back; nothing written\n");
        return 1;
    }
    HistoryOptions out = options;
    out.output = options.backupFile;
    return Emit(bytes, out);
}

}  // namespace

int RunHistoryCommand(const HistoryOptions& options, const std::string& path) {
    const std::string& output =
        options.command == HistoryCommand::Backup ? options.backupFile : options.output;
    // Refused before the history is read: nothing is spent on a bad name.
    if (!output.empty()) {
        if (const std::string refusal = CheckOutputFile(output, options.force); !refusal.empty()) {
            WriteText(stderr, "kelvarin-history: " + refusal + "\n");
            return 2;
        }
    }
    CatchInterrupts();
    try {
        if (options.command == HistoryCommand::Status) return Status(path, options);
        const auto access = options.command == HistoryCommand::Tag ? HistoryDb::Access::Change
                                                                   : HistoryDb::Access::Read;
        HistoryDb db(path, access);
        switch (options.command) {
            case HistoryCommand::List:
                return Emit(UploadList(SelectUploads(db, options.selection), options.format),
                            options);
            case HistoryCommand::Show:
                return Show(db, options);
            case HistoryCommand::Stats:
                return Stats(db, options);
            case HistoryCommand::Tag:
                if (SetTags(db, options.id, options.tags)) return 0;
                WriteText(stderr, "kelvarin-history: no upload " + std::to_string(options.id) +
                                      " in " + path + "\n");
                return 2;
            case HistoryCommand::Backup:
                return Backup(db, options);
            case HistoryCommand::Report:
                return Report(db, options);
            case HistoryCommand::Status:
                break;
        }
    } catch (const HistoryError& error) {
        WriteText(stderr, std::string("kelvarin-history: ") + error.what() + "\n");
        return 1;
    } catch (const InterruptedRun&) {
        WriteText(stderr, "kelvarin-history: interrupted; nothing written\n");
        return 130;
    }
    return 1;
}
