#include "serial/port_path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "serial/port_list_posix.h"

namespace {

// A made-up /dev, /dev/serial/by-id, sysfs and the two ports.conf. A variable
// wins over the user's file, which wins over the machine's; USB adapters
// before ACM ones, each in numeric order, fill the numbers 1 to 12 that none
// of them names; an empty variable or a bad line names nothing; the maker's
// controls are not printed.
TEST(PortPath, VariablesThenFilesThenAdaptersListedWithTheirSource) {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/kelvarin-dev-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern, dev = root + "/dev";
    const std::string usb = "sys/devices/usb1/1-1/", byId = "by-id/usb-FTDI_FT232R_A1-if00-port0";
    for (const char* folder : {"dev", "by-id", "sys/tty/ttyUSB2"})
        fs::create_directories(root + "/" + folder);
    for (const char* name : {"ttyS0", "ttyACM0", "ttyUSB10", "ttyUSB2", "ttyUSB3x"})
        std::ofstream(dev + "/" + name).put('\0');
    fs::create_directories(root + "/" + usb + "1-1:1.0/ttyUSB2");
    std::ofstream(root + "/" + usb + "idVendor") << "0403\n";
    std::ofstream(root + "/" + usb + "manufacturer") << "FTDI\x1b]0;x\x07\xC2\x9B\xC3\xA9\n";
    std::ofstream(root + "/" + usb + "product") << "FT232R USB UART\n";
    fs::create_directory_symlink(root + "/" + usb + "1-1:1.0/ttyUSB2",
                                 root + "/sys/tty/ttyUSB2/device");
    fs::create_symlink("../dev/ttyUSB2", root + "/" + byId);
    const std::string user = root + "/user.conf", machine = root + "/machine.conf";
    std::ofstream(user) << "# mine\n COM3 = /user/3\n\ncom5\t=/user/5 # x\nCOM13=/x\nCOM5=/y\n";
    std::ofstream(machine) << "COM5=/machine/5\nCOM7=/machine/#7\nCOM8\nCOM9=\nTTY1=/z\n";
    const std::pair<int, std::string> variables[] = {
        {1, dev + "/ttyS0"}, {2, ""}, {3, "/no/tty"}, {12, "/no/tty12"}, {13, "/no/tty13"}};
    for (int n = 0; n <= 13; ++n) unsetenv(("KELVARIN_COM" + std::to_string(n)).c_str());
    for (const auto& [n, path] : variables)
        setenv(("KELVARIN_COM" + std::to_string(n)).c_str(), path.c_str(), 1);

    std::string want = "port  device (* exists)\n   1  * " + dev +
                       "/ttyS0 (KELVARIN_COM1)\n   2  * " + dev + "/ttyUSB2 (USB adapter 1, " +
                       root + "/" + byId + ", FTDI?]0;x??\xC3\xA9 FT232R USB UART)\n" +
                       "   3    /no/tty (KELVARIN_COM3)\n   4  * " + dev +
                       "/ttyUSB10 (USB adapter 2)\n   5    /user/5 (" + user + ":4)\n   6  * " +
                       dev + "/ttyACM0 (USB adapter 3)\n   7    /machine/#7 (" + machine + ":2)\n";
    for (int n = 8; n <= 11; ++n)
        want += (n < 10 ? "   " : "  ") + std::to_string(n) + "    none (COM" + std::to_string(n) +
                "= in ports.conf, KELVARIN_COM" + std::to_string(n) + " or another USB adapter)\n";
    EXPECT_EQ(ListPortsUnder({{dev, user, machine}, root + "/by-id", root + "/sys/tty"}),
              want + "  12    /no/tty12 (KELVARIN_COM12)\n");
    const std::vector<std::string> problems = {
        user + ":5: port numbers are 1 to 12; line ignored",
        user + ":6: COM5 already on line 4; line ignored",
        machine + ":3: no '=' (COM<n>=<device>); line ignored",
        machine + ":4: no device after '='; line ignored",
        machine + ":5: not COM<n> before '='; line ignored"};
    EXPECT_EQ(ResolvePorts({dev, user, machine}).problems, problems);
    EXPECT_EQ(ResolvePorts({dev, root, ""}).problems,
              std::vector<std::string>{root + ": Is a directory; rest of file ignored"});
    for (int n : {0, 13}) EXPECT_EQ(PortDevicePath(n, {dev, "", ""}), "") << n;

    for (const auto& [n, path] : variables) unsetenv(("KELVARIN_COM" + std::to_string(n)).c_str());
    fs::remove_all(root);
}

}  // namespace
