#include "upload_report.h"

#include <cstdio>

#include "output_file.h"
#include "upload_stats.h"
#include "upload_table.h"

int ReportUpload(const UploadState& state, const UploadOptions& options, bool lineFailed,
                 bool interrupted) {
    const int received = state.list.GetItemCount();
    const char* nothing = options.output.empty() ? "" : "; no file written";
    if (!state.exportEnabled) {
        if (interrupted) {
            std::fprintf(stderr, "kelvarin-upload: interrupted after %d record(s)%s\n", received,
                         nothing);
            return 130;
        }
        if (lineFailed)
            std::fprintf(stderr,
                         "kelvarin-upload: the line to port %d failed after %d record(s)%s\n",
                         options.port, received, nothing);
        else
            std::fprintf(stderr,
                         "kelvarin-upload: no complete upload from port %d within %ld s "
                         "(%d record(s) received)%s\n",
                         options.port, options.timeoutSeconds, received, nothing);
        return 1;
    }

    UploadSummary summary;
    if (options.summary) summary = Summarise(ReadingsOf(state.list), options.limits);
    const FormattedUpload result =
        FormatUpload(state, options.format, options.summary ? &summary : nullptr);
    std::fwrite(result.side.data(), 1, result.side.size(), stderr);

    if (options.output.empty()) {
        std::fwrite(result.output.data(), 1, result.output.size(), stdout);
        if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
        std::fputs("kelvarin-upload: cannot write to standard output\n", stderr);
        return 1;
    }
    std::string error, kept;
    const WriteResult written =
        WriteFileAtomically(options.output, result.output, options.force, error, kept);
    if (written == WriteResult::Written) return 0;
    if (written == WriteResult::Exists)
        std::fprintf(stderr, "kelvarin-upload: %s appeared during the upload; left as it is\n",
                     options.output.c_str());
    else
        std::fprintf(stderr, "kelvarin-upload: cannot write %s (%s); %s is as it was before\n",
                     options.output.c_str(), error.c_str(), options.output.c_str());
    if (!kept.empty())
        std::fprintf(stderr, "kelvarin-upload: the upload is kept in %s\n", kept.c_str());
    return written == WriteResult::Exists ? 2 : 1;
}
