#pragma once

#include <cstdint>

// Notifications from the serial port to its owner window. The last message
// parameter is always the port number.
inline constexpr std::uint32_t WM_SERIAL_BREAK = 1642;
inline constexpr std::uint32_t WM_SERIAL_CTS = 1643;
inline constexpr std::uint32_t WM_SERIAL_ERROR = 1645;
inline constexpr std::uint32_t WM_SERIAL_RING = 1646;
inline constexpr std::uint32_t WM_SERIAL_BYTE = 1648;
inline constexpr std::uint32_t WM_SERIAL_EVENTCHAR = 1649;
// The worker has ended on its own (nothing could wake it any more): no byte
// comes and nothing goes out until the port is closed and opened again.
inline constexpr std::uint32_t WM_SERIAL_ENDED = 1650;
