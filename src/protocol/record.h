#pragma once

#include <cstdint>
#include <string>

inline constexpr int kRecordSize = 10;  // payload bytes of one record frame

// One stored measurement of the torque tool.
struct Tag_UserData_Type {
    std::uint8_t id;
    float value;
    std::uint8_t unit;
    std::uint8_t decimals;
    std::uint8_t negative;
    std::uint8_t present;
    std::uint8_t failed;
};

inline constexpr int kUnitCount = 5;
extern const char* const UnitNames[kUnitCount];

// Decodes the ten payload bytes of a record frame.
Tag_UserData_Type DecodeRecord(const std::uint8_t* payload);

// The four texts of a record's list row: ID, DATA, UNIT, PASS.
std::string IdText(const Tag_UserData_Type& record);
std::string DataText(const Tag_UserData_Type& record);
// Units the tool may add later have no name here; their raw code is shown so
// an inspector can still tell them apart.
std::string UnitText(std::uint8_t unit);
std::string PassText(const Tag_UserData_Type& record);
