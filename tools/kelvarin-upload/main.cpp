// kelvarin-upload: uploads the torque tool's stored measurements over serial
// port N and prints them, for scripts and production lines.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>

#include "console_text.h"
#include "interrupt.h"
#include "protocol/upload_state.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"
#include "upload_history.h"
#include "upload_options.h"
#include "upload_owner.h"
#include "upload_report.h"
#include "upload_start.h"
#include "winapi/message_box.h"
#include "winapi/program_title.h"
#include "wire_trace.h"

int main(int argc, char** argv) {
    PrepareStandardOutput();
    ProgramArguments arguments(argc, argv);
    UploadOptions options;
    if (const int status =
            ParseUploadOptions(arguments.Count(), arguments.Values(), PortOptionHelp(), options);
        status >= 0)
        return status;
    // Its reports (port settings, the serial port's boxes) carry this name.
    SetProgramTitle("kelvarin-upload");
    if (const int status = StartRun(options, ListPorts); status >= 0) return status;

    // A console program has nobody to click a box away: the serial port's
    // reports go to standard error. Once the end frame is in, the tool may
    // drop the line as soon as it has our last acknowledgement: nothing to
    // report then.
    std::atomic<bool> uploadDone{false};
    SetBoxFunction([&](const std::string& text, const std::string& caption, std::uint32_t) {
        if (uploadDone) return IDOK;
        WriteText(stderr, "kelvarin-upload: " + caption + ": " + text +
                              (text.empty() || text.back() != '\n' ? "\n" : ""));
        return IDOK;
    });

    std::optional<WireTrace> trace;
    if (options.trace)
        trace.emplace([](const std::string& line) { WriteText(stderr, line + "\n"); });
    CSerialPort serial;
    UploadState state([&](const std::uint8_t* bytes, std::uint32_t count) {
        if (trace) trace->Sent(bytes, count);
        serial.HandOver(bytes, count);
    });
    if (trace) state.receiver.observer = &*trace;
    const OwnerHandle owner = OpenUploadOwner([&](std::uint8_t byte) {
        state.receiver.OnByte(byte);
        if (state.exportEnabled) uploadDone = true;
    });
    if (!owner) {
        WriteText(stderr, "kelvarin-upload: cannot create the window that receives the bytes\n");
        return 1;
    }

    const int number = options.port;
    if (!serial.Open(owner, number) || !serial.StartMonitor()) {
        CommPlatform& platform = DefaultCommPlatform();
        const std::uint32_t code = platform.GetLastError();
        const std::string reason = platform.FormatMessageW(code) + OpenFailureHint(code);
        WriteText(stderr, "kelvarin-upload: cannot open port " + std::to_string(number) + " (" +
                              PortDeviceText(number) + "): " + reason +
                              (reason.empty() || reason.back() != '\n' ? "\n" : ""));
        return 1;
    }

    // A lost line ends the wait at once instead of at the time-out.
    using Clock = std::chrono::steady_clock;
    state.BeginUpload();
    const auto deadline = Clock::now() + std::chrono::seconds(options.timeoutSeconds);
    while (!state.exportEnabled && !serial.IsLineLost() && !Interrupted() &&
           Clock::now() < deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        PumpUploadOwner(
            std::clamp(left, std::chrono::milliseconds(0), std::chrono::milliseconds(100)));
    }
    const auto finished = std::chrono::system_clock::now();
    // The end frame's acknowledgement is still on its way to the worker; the
    // tool counts the upload as done only once it has it.
    const auto grace = Clock::now() + std::chrono::seconds(1);
    while (state.exportEnabled && serial.SendPending() && Clock::now() < grace)
        PumpUploadOwner(std::chrono::milliseconds(1));
    const bool ackHeld = serial.SendPending();
    serial.Close();
    // The upload is complete all the same; the tool may offer it again.
    const bool ackWritten = !ackHeld && !serial.IsWriteFailed();
    if (state.exportEnabled && !ackWritten)
        WriteText(stderr, "kelvarin-upload: the tool may not have seen the last acknowledgement\n");
    CloseUploadOwner();
    if (trace) trace->Unfinished(state.receiver.rxBuffer, state.receiver.rxCount);

    const int status = ReportUpload(state, options, serial.IsLineLost(), Interrupted());
    KeepInHistory(state, options, ackWritten, finished);
    return status;
}
