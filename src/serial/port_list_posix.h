#pragma once

#include <string>

// Where the POSIX port listing looks; tests point these at a made-up tree.
struct PortListRoots {
    std::string devices = "/dev";
    std::string byId = "/dev/serial/by-id";
    std::string sysTty = "/sys/class/tty";
};

std::string ListPortsUnder(const PortListRoots& roots);
