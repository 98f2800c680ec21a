#include <windows.h>

#include <cstdio>

#include "serial/port_list.h"
#include "serial/printable_text.h"

std::string ListPorts() {
    std::string out = "port  device (* exists)\n";
    for (int n = 1; n <= 12; ++n) {
        const std::string name = "COM" + std::to_string(n);
        char target[1024] = {};
        const bool present = QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
        char number[8];
        std::snprintf(number, sizeof number, "%4d", n);
        out += number;
        out += present ? "  * " + name + " (" + PrintableText(target) + ")\n"
                       : "    " + name + " (not present)\n";
    }
    return out;
}

std::string PortDeviceText(int number) {
    return "\\\\.\\COM" + std::to_string(number);
}

std::string OpenFailureHint(std::uint32_t) {
    return "";
}

const char* PortOptionHelp() {
    return "serial port COM1 to COM12";
}
