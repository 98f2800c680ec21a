#include "winapi/field_text.h"

#include <cstdio>

std::string UnsignedFieldText(std::uint32_t value) {
    return std::to_string(value);
}

std::string FloatFieldText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(value));
    return text;
}
