// kelvarin-upload: uploads the torque tool's stored measurements over serial
// port N and prints them, for scripts and production lines.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "protocol/upload_state.h"
#include "serial/comm_posix.h"
#include "serial/owner_mailbox.h"
#include "serial/port_path.h"
#include "serial/serial_port.h"
#include "upload_table.h"

namespace {

void Usage(FILE* out) {
    std::fputs(
        "usage: kelvarin-upload --port N [--timeout SECONDS] [--csv]\n"
        "  --port N           serial port 1 to 12 ($KELVARIN_COM<N>, else the N-th USB\n"
        "                     serial adapter: /dev/ttyUSB*, then /dev/ttyACM*)\n"
        "  --timeout SECONDS  give up when the upload has not ended by then (default 60)\n"
        "  --csv              print the list as CSV instead of tab-separated text\n",
        out);
}

bool ParseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    long port = 0;
    long timeoutSeconds = 60;
    bool csv = false;
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
            if (!ParseNumber(argv[++i], 1, 86400, timeoutSeconds)) {
                std::fputs("kelvarin-upload: --timeout takes whole seconds, 1 to 86400\n", stderr);
                return 2;
            }
        } else if (arg == "--csv") {
            csv = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "kelvarin-upload: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (port == 0) {
        std::fputs("kelvarin-upload: --port is required\n", stderr);
        Usage(stderr);
        return 2;
    }

    PosixCommPlatform& platform = PosixPlatform();
    platform.SetProgramName("kelvarin-upload");
    // A lost line ends the wait at once instead of at the time-out. Once the
    // end frame is in, the tool may drop the line as soon as it has our last
    // acknowledgement: nothing to report then.
    std::atomic<bool> lineFailed{false};
    std::atomic<bool> uploadDone{false};
    platform.SetBoxFunction(
        [&](const std::string& text, const std::string& caption, std::uint32_t) {
            if (uploadDone) return 1;
            std::fprintf(stderr, "kelvarin-upload: %s: %s%s", caption.c_str(), text.c_str(),
                         text.empty() || text.back() != '\n' ? "\n" : "");
            if (text.find("ReadFile()") != std::string::npos) lineFailed = true;
            return 1;
        });

    CSerialPort serial(platform);
    UploadState state(
        [&](const std::uint8_t* bytes, std::uint32_t count) { serial.HandOver(bytes, count); });
    OwnerMailbox owner([&](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_SERIAL_BYTE) {
            state.receiver.OnByte(static_cast<std::uint8_t>(wParam));
            if (state.exportEnabled) uploadDone = true;
        }
        return 0;
    });

    const int number = static_cast<int>(port);
    if (!serial.Open(owner.Handle(), number) || !serial.StartMonitor()) {
        const std::string reason = platform.FormatMessageW(platform.GetLastError());
        std::string path = PortDevicePath(number);
        if (path.empty()) path = "no device; set KELVARIN_COM" + std::to_string(number);
        std::fprintf(stderr, "kelvarin-upload: cannot open port %d (%s): %s\n", number,
                     path.c_str(), reason.c_str());
        return 1;
    }

    state.BeginUpload();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (!state.exportEnabled && !lineFailed && std::chrono::steady_clock::now() < deadline) {
        const auto slice = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        if (owner.WaitForSent(std::min(slice, deadline))) owner.DispatchSent();
    }
    // The end frame's acknowledgement is still on its way to the worker; the
    // tool counts the upload as done only once it has it.
    const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (state.exportEnabled && serial.SendPending() &&
           std::chrono::steady_clock::now() < grace) {
        if (owner.WaitForSent(std::chrono::steady_clock::now() + std::chrono::milliseconds(1)))
            owner.DispatchSent();
    }
    serial.Close();
    owner.Close();

    if (!state.exportEnabled) {
        if (lineFailed)
            std::fprintf(stderr, "kelvarin-upload: the line to port %d failed after %d record(s)\n",
                         number, state.list.GetItemCount());
        else
            std::fprintf(stderr,
                         "kelvarin-upload: no complete upload from port %d within %ld s "
                         "(%d record(s) received)\n",
                         number, timeoutSeconds, state.list.GetItemCount());
        return 1;
    }
    const std::string table = FormatUpload(state, csv);
    std::fwrite(table.data(), 1, table.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
