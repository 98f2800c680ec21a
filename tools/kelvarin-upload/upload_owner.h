#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "winapi/owner_mailbox.h"

// Where the serial worker's bytes arrive, per platform: a message-only
// window on Windows, a mailbox elsewhere. Made, pumped and closed on the
// program's main thread.
class UploadOwner {
public:
    using OnByte = std::function<void(std::uint8_t byte)>;
    explicit UploadOwner(OnByte onByte);
    ~UploadOwner();
    UploadOwner(const UploadOwner&) = delete;
    UploadOwner& operator=(const UploadOwner&) = delete;

    // 0 when the platform gave no owner.
    OwnerHandle Handle() const;
    // Handles the messages sent so far, waiting up to `wait` for one.
    void Pump(std::chrono::milliseconds wait);
    // Messages sent later are turned away.
    void Close();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// What the platform's standard output needs before anything is written:
// the table's line ends are its own (CSV rows end in CR LF already).
void PrepareStandardOutput();
