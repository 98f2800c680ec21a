#include "upload_report.h"

#include "console_text.h"
#include "output_file.h"
#include "upload_stats.h"
#include "upload_table.h"
#include "upload_workbook.h"

int ReportUpload(const UploadState& state, const UploadOptions& options, bool lineFailed,
                 bool interrupted) {
    const int received = state.list.GetItemCount();
    const std::string records = std::to_string(received) + " record(s)";
    const std::string port = std::to_string(options.port);
    const std::string nothing = options.output.empty() ? "" : "; no file written";
    if (!state.exportEnabled) {
        if (interrupted) {
            WriteText(stderr, "kelvarin-upload: interrupted after " + records + nothing + "\n");
            return 130;
        }
        if (lineFailed)
            WriteText(stderr, "kelvarin-upload: the line to port " + port + " failed after " +
                                  records + nothing + "\n");
        else
            WriteText(stderr, "kelvarin-upload: no complete upload from port " + port + " within " +
                                  std::to_string(options.timeoutSeconds) + " s (" + records +
                                  " received)" + nothing + "\n");
        return 1;
    }

    UploadSummary summary;
    if (options.summary) summary = Summarise(ReadingsOf(state.list), options.limits);
    FormattedUpload result;
    if (options.format == OutputFormat::Xlsx) {
        std::string error;
        result.output = UploadWorkbook({state.list,
                                        state.rangeText,
                                        state.lengthText,
                                        {},
                                        options.summary ? &summary : nullptr},
                                       error);
        if (!error.empty()) {
            WriteText(stderr, "kelvarin-upload: " + error + "; no file written\n");
            return 1;
        }
    } else {
        result = FormatUpload(state, options.format, options.summary ? &summary : nullptr);
    }
    WriteText(stderr, result.side);

    if (options.output.empty()) {
        if (WriteText(stdout, result.output)) return 0;
        WriteText(stderr, "kelvarin-upload: cannot write to standard output\n");
        return 1;
    }
    std::string error, kept;
    const WriteResult written =
        WriteFileAtomically(options.output, result.output, options.force, error, kept);
    if (written == WriteResult::Written) return 0;
    const std::string& file = options.output;
    if (written == WriteResult::Exists)
        WriteText(stderr,
                  "kelvarin-upload: " + file + " appeared during the upload; left as it is\n");
    else
        WriteText(stderr, "kelvarin-upload: cannot write " + file + " (" + error + "); " + file +
                              " is as it was before\n");
    if (!kept.empty()) WriteText(stderr, "kelvarin-upload: the upload is kept in " + kept + "\n");
    return written == WriteResult::Exists ? 2 : 1;
}
