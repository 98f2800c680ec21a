#pragma once

#include <string>

// Where --list-ports looks; tests point these at a made-up tree.
struct PortListRoots {
    std::string devices = "/dev";
    std::string byId = "/dev/serial/by-id";
    std::string sysTty = "/sys/class/tty";
};

// For ports 1 to 12: the device each opens, why (the variable, or the n-th
// USB adapter with its stable by-id name, maker and product where known) and
// whether it exists. One line per port after a heading.
std::string ListPorts(const PortListRoots& roots = {});
