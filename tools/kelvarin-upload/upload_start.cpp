#include "upload_start.h"

#include <cstdio>

#include "interrupt.h"
#include "kelvarin_version.h"
#include "output_file.h"

int StartRun(const UploadOptions& options, std::string (*listPorts)()) {
    if (options.version) {
        std::fputs("kelvarin-upload " KELVARIN_VERSION "\n", stdout);
        return 0;
    }
    if (options.listPorts) {
        std::fputs(listPorts().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
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
