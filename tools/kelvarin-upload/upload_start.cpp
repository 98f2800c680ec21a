#include "upload_start.h"

#include <cerrno>
#include <cstring>

#include "console_text.h"
#include "interrupt.h"
#include "kelvarin_version.h"
#include "output_file.h"

namespace {

// A text that never reached its reader (a full disk, a closed pipe) is a
// failure, not a success with nothing shown.
int Print(const std::string& text) {
    if (WriteText(stdout, text)) return 0;
    WriteText(stderr, std::string("kelvarin-upload: cannot write to standard output: ") +
                          std::strerror(errno) + "\n");
    return 1;
}

}  // namespace

int StartRun(const UploadOptions& options, std::string (*listPorts)()) {
    if (options.version) return Print("kelvarin-upload " KELVARIN_VERSION "\n");
    if (options.listPorts) return Print(listPorts());
    // Refused before the port opens: no upload is lost to a bad file name.
    if (!options.output.empty()) {
        if (const std::string refusal = CheckOutputFile(options.output, options.force);
            !refusal.empty()) {
            WriteText(stderr, "kelvarin-upload: " + refusal + "\n");
            return 2;
        }
    }
    CatchInterrupts();
    return -1;
}
