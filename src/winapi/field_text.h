#pragma once

#include <cstdint>
#include <string>

// Texts of the two read-only fields: the data length in unsigned decimal and
// the full range in general notation with at most six significant digits and
// no trailing zeros (0.5, 2, 0).
std::string UnsignedFieldText(std::uint32_t value);
std::string FloatFieldText(float value);
