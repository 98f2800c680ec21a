#pragma once

#include <optional>
#include <string>

// A DATA text of the list as a number; empty for "null" or anything that is
// not one. What the uploader prints as a value and the history keeps.
std::optional<double> ValueOf(const std::string& text);
