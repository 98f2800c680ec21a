#include "upload_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Usage(FILE* out, const char* portHelp) {
    std::fprintf(out,
                 "usage: kelvarin-upload --port N [--timeout SECONDS] [--csv]\n"
                 "  --port N           %s\n"
                 "  --timeout SECONDS  give up when the upload has not ended by then (default 60)\n"
                 "  --csv              print the list as CSV instead of tab-separated text\n",
                 portHelp);
}

bool ParseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int ParseUploadOptions(int argc, char** argv, const char* portHelp, UploadOptions& options) {
    long port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--port" || arg == "--timeout") && i + 1 >= argc) {
            std::fprintf(stderr, "kelvarin-upload: %s needs a value\n", arg.c_str());
            return 2;
        }
        if (arg == "--port") {
            if (!ParseNumber(argv[++i], 1, 12, port)) {
                std::fputs("kelvarin-upload: --port takes a number from 1 to 12\n", stderr);
                return 2;
            }
        } else if (arg == "--timeout") {
            if (!ParseNumber(argv[++i], 1, 86400, options.timeoutSeconds)) {
                std::fputs("kelvarin-upload: --timeout takes whole seconds, 1 to 86400\n", stderr);
                return 2;
            }
        } else if (arg == "--csv") {
            options.csv = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout, portHelp);
            return 0;
        } else {
            std::fprintf(stderr, "kelvarin-upload: unknown option %s\n", arg.c_str());
            Usage(stderr, portHelp);
            return 2;
        }
    }
    if (port == 0) {
        std::fputs("kelvarin-upload: --port is required\n", stderr);
        Usage(stderr, portHelp);
        return 2;
    }
    options.port = static_cast<int>(port);
    return -1;
}
