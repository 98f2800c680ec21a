#include "upload_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console_text.h"

namespace {

// The port's line, which differs per platform, goes between the two.
const char* const kUsageStart =
    "usage: kelvarin-upload --port N [--timeout SECONDS] [--format text|csv|json|xlsx]\n"
    "                       [--output FILE [--force]] [--summary] [--limits LOWER:UPPER]\n"
    "                       [--trace] [--tool NAME] [--operator NAME] [--job NAME]\n"
    "                       [--db FILE | --no-history]\n"
    "       kelvarin-upload --list-ports | --version | --help\n"
    "  --port N           ";
const char* const kUsageEnd =
    "\n"
    "  --timeout SECONDS  give up when the upload has not ended by then (default 60)\n"
    "  --format FORMAT    text (default), csv (the list alone, RFC 4180), json, or xlsx\n"
    "                     (a workbook; with --output)\n"
    "  --csv              the same as --format csv\n"
    "  --output FILE      write the result to FILE, complete or not at all\n"
    "  --force            replace FILE when it exists\n"
    "  --summary          count, passed, failed, mean, s, min, max, range per unit\n"
    "  --limits L:U       with the summary: readings outside L..U, Cm and Cmk\n"
    "  --trace            every frame both ways on standard error\n"
    "  --tool NAME        the tags the upload is kept under in the history (UTF-8)\n"
    "  --operator NAME\n"
    "  --job NAME\n"
    "  --db FILE          the history to keep the upload in (else $KELVARIN_HISTORY,\n"
    "                     else the user's data folder; KELVARIN_HISTORY=off: none)\n"
    "  --no-history       do not keep the upload in the history\n"
    "  --list-ports       what each port number opens\n"
    "  --version          print the version\n"
    "exit status: 0 done, 1 upload failed, 2 bad arguments or refused output file,\n"
    "130 interrupted\n";

void Usage(FILE* out, const char* portHelp) {
    WriteText(out, kUsageStart + std::string(portHelp) + kUsageEnd);
}

bool ParseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

int Refuse(const std::string& message) {
    WriteText(stderr, "kelvarin-upload: " + message + "\n");
    return 2;
}

}  // namespace

std::optional<double> ParseReal(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || *end != '\0' || !std::isfinite(value)) return {};
    return value;
}

std::optional<Limits> ParseLimits(const std::string& text) {
    // The first colon after the first character: LOWER may be negative.
    const auto colon = text.find(':', 1);
    if (colon == std::string::npos) return {};
    const auto lower = ParseReal(text.substr(0, colon));
    const auto upper = ParseReal(text.substr(colon + 1));
    if (!lower || !upper || !(*lower < *upper)) return {};
    return Limits{*lower, *upper};
}

int ParseUploadOptions(int argc, char** argv, const char* portHelp, UploadOptions& options) {
    long port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takesValue = arg == "--port" || arg == "--timeout" || arg == "--format" ||
                                arg == "--output" || arg == "--limits" || arg == "--tool" ||
                                arg == "--operator" || arg == "--job" || arg == "--db";
        if (takesValue && i + 1 >= argc) return Refuse(arg + " needs a value");
        if (arg == "--port") {
            if (!ParseNumber(argv[++i], 1, 12, port))
                return Refuse("--port takes a number from 1 to 12");
        } else if (arg == "--timeout") {
            if (!ParseNumber(argv[++i], 1, 86400, options.timeoutSeconds))
                return Refuse("--timeout takes whole seconds, 1 to 86400");
        } else if (arg == "--format") {
            const auto format = OutputFormatNamed(argv[++i]);
            if (!format) return Refuse("--format takes text, csv, json or xlsx");
            options.format = *format;
        } else if (arg == "--csv") {
            options.format = OutputFormat::Csv;
        } else if (arg == "--output") {
            options.output = argv[++i];
            if (options.output.empty()) return Refuse("--output needs a file name");
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--summary") {
            options.summary = true;
        } else if (arg == "--limits") {
            options.limits = ParseLimits(argv[++i]);
            if (!options.limits)
                return Refuse("--limits takes LOWER:UPPER, two numbers with LOWER below UPPER");
            options.summary = true;
        } else if (arg == "--tool" || arg == "--operator" || arg == "--job") {
            const std::string name = argv[++i];
            if (!IsUtf8(name)) return Refuse(arg + " takes a name in UTF-8");
            (arg == "--tool"  ? options.tags.tool
             : arg == "--job" ? options.tags.job
                              : options.tags.operatorName) = name;
        } else if (arg == "--db") {
            options.db = argv[++i];
            if (options.db.empty()) return Refuse("--db needs a file name");
        } else if (arg == "--no-history") {
            options.noHistory = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--list-ports") {
            options.listPorts = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout, portHelp);
            return 0;
        } else {
            WriteText(stderr, "kelvarin-upload: unknown option " + arg + "\n");
            Usage(stderr, portHelp);
            return 2;
        }
    }
    if (options.version || options.listPorts) return -1;
    if (options.force && options.output.empty()) return Refuse("--force goes with --output FILE");
    if (options.format == OutputFormat::Xlsx && options.output.empty())
        return Refuse("--format xlsx writes a file: name it with --output FILE");
    if (options.noHistory && !options.db.empty())
        return Refuse("--db and --no-history exclude each other");
    if (port == 0) {
        WriteText(stderr, "kelvarin-upload: --port is required\n");
        Usage(stderr, portHelp);
        return 2;
    }
    options.port = static_cast<int>(port);
    return -1;
}
