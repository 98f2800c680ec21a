#pragma once

#include <cstdint>
#include <string>

// The serial ports 1 to 12 as this system offers them; one file per
// platform (port_list_posix.cpp, port_list_win32.cpp).

// For each port: the device it opens, why (on Linux the variable, the file
// and line, or the n-th USB adapter with its stable by-id name, maker and
// product where known) and whether it exists. One line per port after a
// heading.
std::string ListPorts();

// The device port `number` opens, as named to the user.
std::string PortDeviceText(int number);

// What to add to the system's reason when a port cannot be opened.
std::string OpenFailureHint(std::uint32_t code);

// How the --port option is described in a program's help.
const char* PortOptionHelp();
