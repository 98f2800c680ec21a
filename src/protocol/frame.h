#pragma once

#include <cstddef>
#include <cstdint>

// Wire format shared with the torque tool: EB 00 55, command, 16-bit
// big-endian payload length, payload, then the 8-bit sum of everything before.

inline constexpr std::uint8_t CMD_FULL_RANGE = 0x01;
inline constexpr std::uint8_t CMD_DATA_LENGTH = 0x02;
inline constexpr std::uint8_t CMD_RECORD = 0x03;
inline constexpr std::uint8_t CMD_UPLOAD_DONE = 0x04;
inline constexpr std::uint8_t CMD_UPLOAD_REQUEST = 0xF0;
inline constexpr std::uint8_t CMD_ACK_ONLY = 0xF1;
inline constexpr std::uint8_t CMD_ACK = 0xF5;

inline constexpr std::uint8_t kFrameHeader[3] = {0xEB, 0x00, 0x55};
inline constexpr std::size_t kFrameHeaderSize = 6;  // prefix, command, length
inline constexpr std::size_t kFrameOverhead = 7;    // header plus check byte

// 8-bit sum of `count` bytes.
std::uint8_t FrameCheck(const std::uint8_t* bytes, std::size_t count);

// The smallest payload each tool command needs; frames that carry less are
// not trusted. Returns 0 for commands that carry nothing.
std::size_t MinimumPayload(std::uint8_t command);
