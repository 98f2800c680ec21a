#pragma once

#include <chrono>
#include <cstdint>

#include "protocol/upload_state.h"
#include "serial/comm_posix.h"
#include "serial/owner_mailbox.h"
#include "serial/serial_port.h"

// A window-less owner driving CSerialPort on the real POSIX backend, as the
// console uploader does.
struct UploadRig {
    OwnerMailbox owner{[this](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_SERIAL_BYTE) {
            ++bytes;
            state.receiver.OnByte(static_cast<std::uint8_t>(wParam));
        }
        return 0;
    }};
    CSerialPort port{PosixPlatform()};
    UploadState state{
        [this](const std::uint8_t* data, std::uint32_t count) { port.HandOver(data, count); }};
    int bytes = 0;

    ~UploadRig() { port.Close(); }

    bool Open(int number) { return port.Open(owner.Handle(), number) && port.StartMonitor(); }

    // Dispatches the worker's messages until `done` or the time runs out.
    template <typename Done>
    bool PumpUntil(Done done, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (owner.WaitForSent(std::chrono::steady_clock::now() + std::chrono::milliseconds(5)))
                owner.DispatchSent();
        }
        return true;
    }
    // Uploads and lets the end frame's acknowledgement out.
    bool Upload(std::chrono::milliseconds limit) {
        state.exportEnabled = false;
        state.BeginUpload();
        return PumpUntil([&] { return state.exportEnabled; }, limit) &&
               PumpUntil([&] { return !port.SendPending(); }, limit);
    }
};
