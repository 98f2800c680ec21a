#include "serial/port_list_posix.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "serial/port_list.h"
#include "serial/port_path.h"
#include "serial/printable_text.h"

namespace {

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The stable name under by-id that leads to `device`, if any.
std::string ById(const std::string& byId, const std::string& device) {
    const std::string target = RealPath(device);
    std::string found;
    if (target.empty()) return found;
    if (DIR* dir = opendir(byId.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string link = byId + "/" + entry->d_name;
            if (entry->d_name[0] != '.' && RealPath(link) == target) {
                found = link;
                break;
            }
        }
        closedir(dir);
    }
    return found;
}

// "maker product" of the USB device above the tty in sysfs.
std::string MakerAndProduct(const std::string& sysTty, const std::string& device) {
    const std::string name = device.substr(device.rfind('/') + 1);
    std::string dir = RealPath(sysTty + "/" + name + "/device");
    for (int up = 0; up < 6 && dir.size() > 1; ++up) {
        if (Exists(dir + "/idVendor")) {
            const std::string maker = FirstLine(dir + "/manufacturer");
            const std::string product = FirstLine(dir + "/product");
            // As the device gives them: they may hold terminal controls.
            const std::string what = maker.empty()     ? product
                                     : product.empty() ? maker
                                                       : maker + " " + product;
            return PrintableText(what);
        }
        dir = dir.substr(0, dir.rfind('/'));
    }
    return "";
}

}  // namespace

std::string ListPortsUnder(const PortListRoots& roots) {
    const PortTable table = ResolvePorts(roots);
    ReportPortProblems(table.problems);
    std::string out = "port  device (* exists)\n";
    for (int n = 1; n <= 12; ++n) {
        const PortSource& source = table.ports[n - 1];
        char number[8];
        std::snprintf(number, sizeof number, "%4d", n);
        out += number;
        if (source.path.empty()) {
            out += "    none (COM" + std::to_string(n) + "= in ports.conf, KELVARIN_COM" +
                   std::to_string(n) + " or another USB adapter)\n";
            continue;
        }
        out += Exists(source.path) ? "  * " : "    ";
        out += source.path + " (";
        if (!source.variable.empty()) {
            out += source.variable;
        } else if (!source.file.empty()) {
            out += source.file + ":" + std::to_string(source.line);
        } else {
            out += "USB adapter " + std::to_string(source.adapter);
            if (const std::string stable = ById(roots.byId, source.path); !stable.empty())
                out += ", " + stable;
            if (const std::string what = MakerAndProduct(roots.sysTty, source.path); !what.empty())
                out += ", " + what;
        }
        out += ")\n";
    }
    return out;
}

std::string ListPorts() {
    return ListPortsUnder({});
}

std::string PortDeviceText(int number) {
    const std::string path = PortDevicePath(number);
    const std::string n = std::to_string(number);
    return path.empty() ? "no device; name one as COM" + n + "= in ports.conf or KELVARIN_COM" + n
                        : path;
}

std::string OpenFailureHint(std::uint32_t code) {
    return code == EACCES ? " (serial ports belong to the group dialout: "
                            "sudo usermod -aG dialout \"$USER\", then log in again)"
                          : "";
}

const char* PortOptionHelp() {
    return "serial port 1 to 12 ($KELVARIN_COM<N>, COM<N>= in ports.conf, else a USB\n"
           "                     serial adapter on the numbers none names; see --list-ports)";
}
