#pragma once

#include <string>

// Who and where an upload was made, one implementation per platform.
std::string HostName();
std::string LoginUser();
// The name of a serial device that stays the same across reboots and
// sockets: its /dev/serial/by-id link where there is one, else `path`.
std::string StableDeviceName(const std::string& path);
