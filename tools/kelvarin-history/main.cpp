// kelvarin-history: lists, shows, summarises, tags and backs up the uploads
// the window and kelvarin-upload keep in the history.
#include "console_text.h"
#include "history/history_place.h"
#include "history_commands.h"
#include "history_options.h"

int main(int argc, char** argv) {
    PrepareStandardOutput();
    ProgramArguments arguments(argc, argv);
    HistoryOptions options;
    if (const int status = ParseHistoryOptions(arguments.Count(), arguments.Values(), options);
        status >= 0)
        return status;
    const std::string path = HistoryPath(options.db);
    if (path.empty()) {
        WriteText(stderr,
                  "kelvarin-history: no history: KELVARIN_HISTORY=off, or no data folder to "
                  "keep one in (--db FILE names one)\n");
        return 1;
    }
    return RunHistoryCommand(options, path);
}
