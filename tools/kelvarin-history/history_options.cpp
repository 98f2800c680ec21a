#include "history_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "console_text.h"
#include "history/history_time.h"
#include "kelvarin_version.h"
#include "upload_options.h"

namespace {

const char* const kUsage =
    "usage: kelvarin-history COMMAND [OPTIONS]\n"
    "  list   [--format text|csv|json] [FILTERS]     every upload kept\n"
    "  show   ID [--format text|csv|json|xlsx] [--summary] [--limits L:U]\n"
    "                                                one upload as kelvarin-upload printed it\n"
    "  stats  [FILTERS] [--all] [--unit UNIT] [--limits L:U] [--format text|csv|json]\n"
    "                                                the summary over the selected readings\n"
    "  tag    ID [--tool NAME] [--operator NAME] [--job NAME]\n"
    "  status                                        the history, its counts, the last failure\n"
    "  backup FILE [--force]                         a consistent copy of the history\n"
    "  report --limits L:U [--unit UNIT] [FILTERS] [--all] [--cm-min X] [--cmk-min Y]\n"
    "         [--title TEXT]                          a capability study as one HTML page\n"
    "FILTERS: --upload ID[,ID...] --since TIME --until TIME --tool NAME --operator NAME\n"
    "         --job NAME --port N --device PATH --last N\n"
    "  TIME is an ISO 8601 date or date-time, UTC unless it ends in an offset;\n"
    "  a date alone covers that whole day. --all adds plain re-uploads to stats and\n"
    "  report.\n"
    "Every command: --db FILE (else $KELVARIN_HISTORY, else the user's data folder),\n"
    "  --output FILE [--force] (complete or not at all).\n"
    "       kelvarin-history --version | --help\n"
    "exit status: 0 done, 1 the history cannot be read or an output not written,\n"
    "2 bad arguments, an unknown upload or an existing output file, 130 interrupted\n";

int Refuse(const std::string& message) {
    WriteText(stderr, "kelvarin-history: " + message + "\n");
    return 2;
}

bool ParseId(const std::string& text, std::int64_t& id) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || value < 1 || text[0] == '+') return false;
    id = value;
    return true;
}

std::optional<HistoryCommand> CommandOf(const std::string& word) {
    if (word == "list") return HistoryCommand::List;
    if (word == "show") return HistoryCommand::Show;
    if (word == "stats") return HistoryCommand::Stats;
    if (word == "tag") return HistoryCommand::Tag;
    if (word == "status") return HistoryCommand::Status;
    if (word == "backup") return HistoryCommand::Backup;
    if (word == "report") return HistoryCommand::Report;
    return {};
}

// The options each command takes besides --db, --output and --force.
std::set<std::string> OptionsOf(HistoryCommand command) {
    const std::set<std::string> filters = {"--upload", "--since",    "--until",
                                           "--tool",   "--operator", "--job",
                                           "--port",   "--device",   "--last"};
    switch (command) {
        case HistoryCommand::List: {
            auto options = filters;
            options.insert("--format");
            return options;
        }
        case HistoryCommand::Stats: {
            auto options = filters;
            options.insert({"--format", "--all", "--unit", "--limits"});
            return options;
        }
        case HistoryCommand::Report: {
            auto options = filters;
            options.insert({"--all", "--unit", "--limits", "--cm-min", "--cmk-min", "--title"});
            return options;
        }
        case HistoryCommand::Show:
            return {"--format", "--summary", "--limits"};
        case HistoryCommand::Tag:
            return {"--tool", "--operator", "--job"};
        case HistoryCommand::Status:
        case HistoryCommand::Backup:
            return {};
    }
    return {};
}

}  // namespace

int ParseHistoryOptions(int argc, char** argv, HistoryOptions& options) {
    if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        WriteText(stdout, kUsage);
        return 0;
    }
    if (argc >= 2 && std::string(argv[1]) == "--version") {
        return WriteText(stdout, "kelvarin-history " KELVARIN_VERSION "\n") ? 0 : 1;
    }
    // --db may come before the command too.
    int first = 1;
    for (; first + 1 < argc && std::string(argv[first]) == "--db"; first += 2) {
        options.db = argv[first + 1];
        if (options.db.empty()) return Refuse("--db needs a file name");
    }
    const std::optional<HistoryCommand> command =
        first < argc ? CommandOf(argv[first]) : std::optional<HistoryCommand>();
    if (!command) {
        if (first < argc)
            WriteText(stderr,
                      "kelvarin-history: unknown command " + std::string(argv[first]) + "\n");
        WriteText(stderr, kUsage);
        return 2;
    }
    options.command = *command;
    options.selection.repeats =
        *command != HistoryCommand::Stats && *command != HistoryCommand::Report;
    const std::set<std::string> allowed = OptionsOf(*command);
    const bool takesId = *command == HistoryCommand::Show || *command == HistoryCommand::Tag;
    const bool takesFile = *command == HistoryCommand::Backup;
    bool haveId = false;
    Selection& s = options.selection;

    const std::string name = argv[first];
    for (int i = first + 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            if (takesId && !haveId) {
                if (!ParseId(arg, options.id))
                    return Refuse("an upload id is a whole number from 1");
                haveId = true;
            } else if (takesFile && options.backupFile.empty()) {
                options.backupFile = arg;
            } else {
                return Refuse("unexpected argument " + arg);
            }
            continue;
        }
        const bool flag = arg == "--force" || arg == "--summary" || arg == "--all";
        if (arg != "--db" && arg != "--output" && arg != "--force" && !allowed.count(arg)) {
            bool known = false;
            for (auto other : {HistoryCommand::Stats, HistoryCommand::Show, HistoryCommand::Tag,
                               HistoryCommand::Report})
                known = known || OptionsOf(other).count(arg);
            return Refuse(arg +
                          (known ? " does not go with " + name : " is not an option (see --help)"));
        }
        if (flag) {
            if (arg == "--force") options.force = true;
            if (arg == "--summary") options.summary = true;
            if (arg == "--all") s.repeats = true;
            continue;
        }
        if (i + 1 >= argc) return Refuse(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--db") {
            options.db = value;
            if (value.empty()) return Refuse("--db needs a file name");
        } else if (arg == "--output") {
            options.output = value;
            if (value.empty()) return Refuse("--output needs a file name");
        } else if (arg == "--format") {
            // A workbook holds one upload.
            const bool show = *command == HistoryCommand::Show;
            const auto format = OutputFormatNamed(value);
            if (!format || (*format == OutputFormat::Xlsx && !show))
                return Refuse(show ? "--format takes text, csv, json or xlsx"
                                   : "--format takes text, csv or json");
            options.format = *format;
        } else if (arg == "--limits") {
            options.limits = ParseLimits(value);
            if (!options.limits)
                return Refuse("--limits takes LOWER:UPPER, two numbers with LOWER below UPPER");
            options.summary = true;
        } else if (arg == "--cm-min" || arg == "--cmk-min") {
            const auto minimum = ParseReal(value);
            if (!minimum || !(*minimum > 0))
                return Refuse(arg + " takes a positive number, such as 1.33");
            (arg == "--cm-min" ? options.thresholds.cm : options.thresholds.cmk) = *minimum;
        } else if (arg == "--title") {
            options.title = value;
        } else if (arg == "--unit") {
            options.unit = value;
        } else if (arg == "--tool" || arg == "--operator" || arg == "--job") {
            if (!IsUtf8(value)) return Refuse(arg + " takes a name in UTF-8");
            std::optional<std::string>& tag =
                arg == "--tool"  ? (takesId ? options.tags.tool : s.tool)
                : arg == "--job" ? (takesId ? options.tags.job : s.job)
                                 : (takesId ? options.tags.operatorName : s.operatorName);
            tag = value;
        } else if (arg == "--device") {
            s.device = value;
        } else if (arg == "--since" || arg == "--until") {
            const auto bound = TimeBound(value, arg == "--until");
            if (!bound)
                return Refuse(arg +
                              " takes an ISO 8601 date or date-time, such as 2026-12-07 or "
                              "2026-12-07T14:30:00+01:00");
            (arg == "--since" ? s.since : s.until) = bound;
        } else if (arg == "--port") {
            std::int64_t port = 0;
            if (!ParseId(value, port) || port > 12)
                return Refuse("--port takes a number from 1 to 12");
            s.port = static_cast<int>(port);
        } else if (arg == "--last") {
            std::int64_t last = 0;
            if (!ParseId(value, last)) return Refuse("--last takes a whole number from 1");
            s.last = last;
        } else if (arg == "--upload") {
            std::size_t start = 0;
            for (;;) {
                const std::size_t comma = value.find(',', start);
                std::int64_t id = 0;
                if (!ParseId(value.substr(start, comma - start), id))
                    return Refuse("--upload takes upload ids separated by commas");
                s.uploads.push_back(id);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        }
    }
    if (takesId && !haveId) return Refuse(name + " needs an upload id");
    if (takesFile && options.backupFile.empty()) return Refuse("backup needs a file to write");
    if (takesFile && !options.output.empty()) return Refuse("backup writes FILE: no --output");
    if (options.force && options.output.empty() && !takesFile)
        return Refuse("--force goes with --output FILE");
    if (options.format == OutputFormat::Xlsx && options.output.empty())
        return Refuse("--format xlsx writes a file: name it with --output FILE");
    if (*command == HistoryCommand::Report && !options.limits)
        return Refuse("report needs --limits LOWER:UPPER");
    if (*command == HistoryCommand::Tag && !options.tags.tool && !options.tags.job &&
        !options.tags.operatorName)
        return Refuse("tag needs --tool, --operator or --job");
    return -1;
}
