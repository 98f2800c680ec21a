#pragma once

#include <string>

// The device path of port number n (1 to 12) on Linux: $KELVARIN_COM<n> when
// set; otherwise the USB serial adapters in a fixed order, /dev/ttyUSB0,
// ttyUSB1, ... then /dev/ttyACM0, ttyACM1, ..., the first being port 1.
// Empty when port n has no device.
std::string PortDevicePath(int n, const std::string& deviceDirectory = "/dev");
