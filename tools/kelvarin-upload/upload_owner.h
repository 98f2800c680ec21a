#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "winapi/owner_mailbox.h"

// Where the serial worker's bytes arrive, per platform: a message-only
// window on Windows, a mailbox elsewhere. One per program, made, pumped and
// closed on its main thread.

// 0 when the platform gave no owner.
OwnerHandle OpenUploadOwner(std::function<void(std::uint8_t byte)> onByte);
// Handles the messages sent so far, waiting up to `wait` for one.
void PumpUploadOwner(std::chrono::milliseconds wait);
// Messages sent later are turned away.
void CloseUploadOwner();
