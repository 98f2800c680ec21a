// Arbitrary bytes into the frame receiver and the record handling. The first
// input byte picks where an Upload command resets the receiver.
#include <cstdint>
#include <cstdlib>

#include "protocol/upload_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t resetAt = data[0];
    UploadState host([](const std::uint8_t*, std::uint32_t n) {
        if (n != 7) std::abort();  // only whole acknowledgements and requests leave
    });
    for (std::size_t i = 1; i < size; ++i) {
        if (i == resetAt) host.BeginUpload();
        host.receiver.OnByte(data[i]);
        if (host.receiver.rxCount > FrameReceiver::kBufferSize) std::abort();
        if (host.receiver.inFrame && host.receiver.frameLength > FrameReceiver::kBufferSize)
            std::abort();
    }
    // Once an upload has begun, every stored record has its row.
    if (resetAt >= 1 && resetAt < size &&
        static_cast<std::size_t>(host.list.GetItemCount()) != host.records.GetSize())
        std::abort();
    return 0;
}
