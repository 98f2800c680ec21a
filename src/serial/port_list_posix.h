#pragma once

#include <string>

#include "serial/port_path.h"

// Where the POSIX port listing looks besides the lookup's own places; tests
// point these at a made-up tree.
struct PortListRoots : PortPlaces {
    std::string byId = "/dev/serial/by-id";
    std::string sysTty = "/sys/class/tty";
};

std::string ListPortsUnder(const PortListRoots& roots);
