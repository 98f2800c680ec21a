#pragma once

#include <cstddef>
#include <string>

// A column heading as the export takes it: what fits a 256-character text
// buffer, i.e. at most `maxUnits` UTF-16 code units, never splitting a
// character.
std::string CutHeaderText(const std::string& text, std::size_t maxUnits = 255);
