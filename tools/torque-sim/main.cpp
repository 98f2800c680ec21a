// torque-sim: plays a digital torque tool's side of the upload protocol on a
// pseudo-terminal or a real serial device.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kelvarin_version.h"
#include "line_link.h"
#include "sim_session.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop = true;
}

void Usage(FILE* out) {
    std::fputs(
        "usage: torque-sim (--pty | --device PATH) [options]\n"
        "  --pty                create a pseudo-terminal; its path is the first output line\n"
        "  --device PATH        serve a real serial device (9600 8N1)\n"
        "  --records N          number of stored records, 1 to 255 (default 12)\n"
        "  --full-range RAW     raw full range sent to the host (default 20000 = 20)\n"
        "  --fast               do not pace the bytes at the 9600-baud line rate\n"
        "  --retransmit MS      resend an unacknowledged frame after MS ms; 0 never (500)\n"
        "  --fault KIND@K       inject KIND on the first sending of frame K (0 = full range)\n"
        "                       KIND: bad-check, unknown-command, stray-bytes,\n"
        "                       short-payload, hang-up\n"
        "  --fault-rate P       random fault (not hang-up) on each frame with chance P\n"
        "  --seed S             seed of the random faults (default 1)\n"
        "  --once               exit after one completed upload\n"
        "  --trace              print every frame, both ways, on standard error\n"
        "  --version            print the version and exit\n",
        out);
}

void PrintFrame(torque_sim::Direction direction, const torque_sim::Bytes& bytes) {
    std::fputs(direction == torque_sim::Direction::ToHost ? "tool -> host:" : "host -> tool:",
               stderr);
    for (std::uint8_t b : bytes) std::fprintf(stderr, " %02X", b);
    std::fputc('\n', stderr);
}

bool ParseInt(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    torque_sim::Config config;
    torque_sim::LinkOptions link;
    link.pace = true;
    link.stop = &g_stop;
    bool usePty = false;
    std::string device;
    long records = 12;
    bool trace = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "torque-sim: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        long value = 0;
        if (arg == "--pty") {
            usePty = true;
        } else if (arg == "--device") {
            device = next();
        } else if (arg == "--records") {
            if (!ParseInt(next(), 1, 255, records)) {
                std::fputs("torque-sim: --records takes a number from 1 to 255\n", stderr);
                return 2;
            }
        } else if (arg == "--full-range") {
            if (!ParseInt(next(), 0, 65535, value)) {
                std::fputs("torque-sim: --full-range takes a number from 0 to 65535\n", stderr);
                return 2;
            }
            config.fullRangeRaw = static_cast<std::uint16_t>(value);
        } else if (arg == "--fast") {
            link.pace = false;
        } else if (arg == "--retransmit") {
            if (!ParseInt(next(), 0, 3600000, value)) {
                std::fputs("torque-sim: --retransmit takes milliseconds\n", stderr);
                return 2;
            }
            config.retransmitAfter = std::chrono::milliseconds(value);
        } else if (arg == "--fault") {
            const std::string faultArg = next();
            const auto at = faultArg.find('@');
            const auto kind = torque_sim::ParseFault(
                faultArg.substr(0, at == std::string::npos ? faultArg.size() : at).c_str());
            if (!kind || at == std::string::npos ||
                !ParseInt(faultArg.c_str() + at + 1, 0, 300, value)) {
                std::fprintf(stderr, "torque-sim: bad --fault '%s' (want KIND@FRAME)\n",
                             faultArg.c_str());
                return 2;
            }
            config.faults.at[static_cast<int>(value)] = *kind;
        } else if (arg == "--fault-rate") {
            char* end = nullptr;
            config.faults.rate = std::strtod(next(), &end);
            if (*end != '\0' || config.faults.rate < 0.0 || config.faults.rate > 1.0) {
                std::fputs("torque-sim: --fault-rate takes a chance from 0 to 1\n", stderr);
                return 2;
            }
        } else if (arg == "--seed") {
            if (!ParseInt(next(), 0, 0x7FFFFFFF, value)) {
                std::fputs("torque-sim: --seed takes a number\n", stderr);
                return 2;
            }
            config.faults.seed = static_cast<std::uint32_t>(value);
        } else if (arg == "--once") {
            link.once = true;
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--version") {
            std::printf("torque-sim %s\n", KELVARIN_VERSION);
            return 0;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "torque-sim: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (usePty == !device.empty()) {
        std::fputs("torque-sim: give exactly one of --pty and --device PATH\n", stderr);
        Usage(stderr);
        return 2;
    }
    config.records = torque_sim::DefaultRecords(static_cast<int>(records));

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string error, path = device;
    int keepAlive = -1;
    const int fd = usePty ? torque_sim::OpenPseudoTerminal(path, keepAlive, error)
                          : torque_sim::OpenSerialDevice(device, error);
    if (fd < 0) {
        std::fprintf(stderr, "torque-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);

    torque_sim::Session session(config);
    if (trace) session.trace = PrintFrame;
    const torque_sim::LinkEnd end = torque_sim::ServeLine(fd, session, link);
    // Closing our end is the hang-up the host sees.
    close(fd);
    if (keepAlive >= 0) close(keepAlive);

    const auto& stats = session.GetStats();
    std::fprintf(
        stderr, "torque-sim: %d upload(s) completed, %d frames sent, %d resent, %d faults\n",
        stats.uploadsCompleted, stats.framesSent, stats.retransmissions, stats.faultsInjected);
    if (end == torque_sim::LinkEnd::LineFailed) {
        std::fputs("torque-sim: the line failed\n", stderr);
        return 1;
    }
    return 0;
}
