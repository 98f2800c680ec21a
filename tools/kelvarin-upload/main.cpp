// kelvarin-upload: uploads the torque tool's stored measurements over serial
// port N and prints them, for scripts and production lines.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "interrupt.h"
#include "protocol/upload_state.h"
#include "serial/comm_posix.h"
#include "serial/port_list.h"
#include "serial/port_path.h"
#include "serial/serial_port.h"
#include "upload_options.h"
#include "upload_report.h"
#include "upload_start.h"
#include "winapi/owner_mailbox.h"
#include "winapi/program_title.h"
#include "wire_trace.h"

namespace {

constexpr const char* kPortHelp =
    "serial port 1 to 12 ($KELVARIN_COM<N>, else a USB serial adapter\n"
    "                     on the numbers no variable claims; see --list-ports)";

}  // namespace

int main(int argc, char** argv) {
    UploadOptions options;
    if (const int status = ParseUploadOptions(argc, argv, kPortHelp, options); status >= 0)
        return status;
    if (const int status = StartRun(options, [] { return ListPorts(); }); status >= 0)
        return status;

    PosixCommPlatform& platform = PosixPlatform();
    SetProgramTitle("kelvarin-upload");
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
            if (EndsTheLine(text)) lineFailed = true;
            return 1;
        });

    std::optional<WireTrace> trace;
    if (options.trace)
        trace.emplace([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    CSerialPort serial(platform);
    UploadState state([&](const std::uint8_t* bytes, std::uint32_t count) {
        if (trace) trace->Sent(bytes, count);
        serial.HandOver(bytes, count);
    });
    if (trace) state.receiver.observer = &*trace;
    OwnerMailbox owner([&](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_SERIAL_BYTE) {
            state.receiver.OnByte(static_cast<std::uint8_t>(wParam));
            if (state.exportEnabled) uploadDone = true;
        }
        return 0;
    });

    const int number = options.port;
    if (!serial.Open(owner.Handle(), number) || !serial.StartMonitor()) {
        const std::uint32_t code = platform.GetLastError();
        std::string path = PortDevicePath(number);
        if (path.empty()) path = "no device; set KELVARIN_COM" + std::to_string(number);
        std::fprintf(stderr, "kelvarin-upload: cannot open port %d (%s): %s%s\n", number,
                     path.c_str(), platform.FormatMessageW(code).c_str(),
                     code == EACCES ? " (serial ports belong to the group dialout: "
                                      "sudo usermod -aG dialout \"$USER\", then log in again)"
                                    : "");
        return 1;
    }

    state.BeginUpload();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    while (!state.exportEnabled && !lineFailed && !Interrupted() &&
           std::chrono::steady_clock::now() < deadline) {
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
    if (trace) trace->Unfinished(state.receiver.rxBuffer, state.receiver.rxCount);

    return ReportUpload(state, options, lineFailed, Interrupted());
}
