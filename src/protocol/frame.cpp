#include "protocol/frame.h"

std::uint8_t FrameCheck(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return sum;
}

std::size_t MinimumPayload(std::uint8_t command) {
    switch (command) {
        case CMD_FULL_RANGE:
            return 2;
        case CMD_DATA_LENGTH:
            return 1;
        case CMD_RECORD:
            return 10;
        default:
            return 0;
    }
}
