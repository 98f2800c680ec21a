#pragma once

#include <string>
#include <vector>

// Where port number n (1 to 12) leads on Linux: $KELVARIN_COM<n> when set
// and not empty; otherwise the USB serial adapters, in a fixed order
// (/dev/ttyUSB0, ttyUSB1, ... then /dev/ttyACM0, ...), fill the numbers that
// no variable claims, lowest first. `adapter` is 1 for the first adapter.
struct PortSource {
    std::string path;      // empty: no device
    std::string variable;  // the variable that named it, if one did
    int adapter = 0;       // which adapter it is, 0 if none
};

PortSource ResolvePort(int n, const std::string& deviceDirectory = "/dev");

// ResolvePort(n).path.
std::string PortDevicePath(int n, const std::string& deviceDirectory = "/dev");

// The USB serial adapters present, in port order.
std::vector<std::string> UsbAdapters(const std::string& deviceDirectory = "/dev");
