#pragma once

#include <string>

// The COM ports 1 to 12 that this Windows system has, with the device
// behind each; one line per port after a heading.
std::string ListComPorts();
