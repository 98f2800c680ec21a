#include <memory>

#include "serial/serial_messages.h"
#include "upload_owner.h"

namespace {

std::unique_ptr<OwnerMailbox> g_owner;

}  // namespace

OwnerHandle OpenUploadOwner(std::function<void(std::uint8_t byte)> onByte) {
    g_owner = std::make_unique<OwnerMailbox>(
        [onByte = std::move(onByte)](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
            if (message == WM_SERIAL_BYTE) onByte(static_cast<std::uint8_t>(wParam));
            return 0;
        });
    return g_owner->Handle();
}

void PumpUploadOwner(std::chrono::milliseconds wait) {
    if (g_owner->WaitForSent(std::chrono::steady_clock::now() + wait)) g_owner->DispatchSent();
}

void CloseUploadOwner() {
    g_owner.reset();
}
