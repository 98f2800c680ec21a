#include "upload_start.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "interrupt.h"
#include "kelvarin_version.h"
#include "output_file.h"

namespace {

// A text that never reached its reader (a full disk, a closed pipe) is a
// failure, not a success with nothing shown.
int Print(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return 0;
    std::fprintf(stderr, "kelvarin-upload: cannot write to standard output: %s\n",
                 std::strerror(errno));
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
            std::fprintf(stderr, "kelvarin-upload: %s\n", refusal.c_str());
            return 2;
        }
    }
    CatchInterrupts();
    return -1;
}
