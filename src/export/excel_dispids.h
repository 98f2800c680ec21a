#pragma once

#include "export/automation.h"

// Members of the spreadsheet's object model that the export uses, bound by
// DISPID: the export calls them and the Linux bridge serves them.
namespace automation::excel {

inline constexpr DispId kWorkbooks = 0x23C;
inline constexpr DispId kAdd = 0xB5;
inline constexpr DispId kSheets = 0x1E5;
inline constexpr DispId kItem = 0xAA;
inline constexpr DispId kRange = 0xC5;
inline constexpr DispId kValue2 = 0x56C;
inline constexpr DispId kEntireColumn = 0xF6;
inline constexpr DispId kAutoFit = 0xED;
inline constexpr DispId kVisible = 0x22E;
inline constexpr DispId kUserControl = 0x4BA;

}  // namespace automation::excel
