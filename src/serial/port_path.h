#pragma once

#include <array>
#include <string>
#include <vector>

// Where port number n (1 to 12) leads on Linux, the first that names it:
// $KELVARIN_COM<n> when set and not empty; the line COM<n>=<device> in the
// user's ports.conf; the same in the machine's. The USB serial adapters, in a
// fixed order (/dev/ttyUSB0, ttyUSB1, ... then /dev/ttyACM0, ...), fill the
// numbers that none of these names, lowest first.

// $XDG_CONFIG_HOME/kelvarin/ports.conf, else ~/.config/kelvarin/ports.conf;
// empty without a home.
std::string UserPortsFile();

// Where the lookup reads; tests point these at a made-up tree. An empty
// file name reads nothing.
struct PortPlaces {
    std::string devices = "/dev";
    std::string userFile = UserPortsFile();
    std::string machineFile = "/etc/kelvarin/ports.conf";
};

struct PortSource {
    std::string path;      // empty: no device
    std::string variable;  // the variable that named it, if one did
    std::string file;      // else the file that named it, and the line
    int line = 0;
    int adapter = 0;  // which adapter it is, 1 for the first; 0 if none
};

struct PortTable {
    std::array<PortSource, 12> ports;   // port n at ports[n - 1]
    std::vector<std::string> problems;  // the lines ignored and files not read, why
};

PortTable ResolvePorts(const PortPlaces& places = {});

// ResolvePorts(places).ports[n - 1].path, "" outside 1 to 12; the problems
// are reported.
std::string PortDevicePath(int n, const PortPlaces& places = {});

// Says each problem this process has not said before on standard error,
// under the program's title ("kelvarin-upload: ...", "kelvarin: ...").
void ReportPortProblems(const std::vector<std::string>& problems);

// The USB serial adapters present, in port order.
std::vector<std::string> UsbAdapters(const std::string& deviceDirectory = "/dev");
