#include "protocol/record.h"

#include <cstdio>

const char* const UnitNames[kUnitCount] = {" ", "kgf.cm", "N.m", "lfb.ft", "lbf.in"};

namespace {

long double PowerOfTen(unsigned exponent) {
    long double result = 1.0L;
    long double base = 10.0L;
    while (exponent != 0) {
        if (exponent & 1u) result *= base;
        base *= base;
        exponent >>= 1;
    }
    return result;
}

}  // namespace

Tag_UserData_Type DecodeRecord(const std::uint8_t* payload) {
    const std::uint32_t bits = (std::uint32_t{payload[1]} << 24) |
                               (std::uint32_t{payload[2]} << 16) |
                               (std::uint32_t{payload[3]} << 8) | std::uint32_t{payload[4]};
    const auto magnitude = static_cast<std::int32_t>(bits);
    Tag_UserData_Type record{};
    record.id = payload[0];
    record.negative = payload[5];
    record.decimals = payload[6];
    record.unit = payload[7];
    record.present = payload[8];
    record.failed = payload[9];
    record.value =
        static_cast<float>(static_cast<long double>(magnitude) / PowerOfTen(record.decimals));
    if (record.negative != 0) record.value = -record.value;
    return record;
}

std::string IdText(const Tag_UserData_Type& record) {
    return std::to_string(int{record.id});
}

std::string DataText(const Tag_UserData_Type& record) {
    if (record.present == 0) return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(record.value));
    return text;
}

std::string UnitText(std::uint8_t unit) {
    if (unit < kUnitCount) return UnitNames[unit];
    return "unknown(" + std::to_string(int{unit}) + ")";
}

std::string PassText(const Tag_UserData_Type& record) {
    return record.failed != 0 ? "failed" : "passed";
}
