#include "serial/port_path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "serial/port_list_posix.h"

namespace {

// A made-up /dev, /dev/serial/by-id and sysfs. USB adapters before ACM ones,
// each in numeric order, fill the numbers 1 to 12 that no variable claims;
// an empty variable claims nothing; the maker's controls are not printed.
TEST(PortPath, AdaptersFillTheNumbersNoVariableClaimsAndAreListed) {
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
    const std::pair<int, std::string> variables[] = {
        {1, dev + "/ttyS0"}, {2, ""}, {3, "/no/tty"}, {12, "/no/tty12"}, {13, "/no/tty13"}};
    for (int n = 0; n <= 13; ++n) unsetenv(("KELVARIN_COM" + std::to_string(n)).c_str());
    for (const auto& [n, path] : variables)
        setenv(("KELVARIN_COM" + std::to_string(n)).c_str(), path.c_str(), 1);

    std::string want = "port  device (* exists)\n   1  * " + dev +
                       "/ttyS0 (KELVARIN_COM1)\n   2  * " + dev + "/ttyUSB2 (USB adapter 1, " +
                       root + "/" + byId + ", FTDI?]0;x??\xC3\xA9 FT232R USB UART)\n" +
                       "   3    /no/tty (KELVARIN_COM3)\n   4  * " + dev +
                       "/ttyUSB10 (USB adapter 2)\n   5  * " + dev + "/ttyACM0 (USB adapter 3)\n";
    for (int n = 6; n <= 11; ++n)
        want += (n < 10 ? "   " : "  ") + std::to_string(n) + "    none (set KELVARIN_COM" +
                std::to_string(n) + " or plug in another USB adapter)\n";
    EXPECT_EQ(ListPortsUnder({dev, root + "/by-id", root + "/sys/tty"}),
              want + "  12    /no/tty12 (KELVARIN_COM12)\n");
    for (int n : {0, 13}) EXPECT_EQ(PortDevicePath(n, dev), "") << n;

    for (const auto& [n, path] : variables) unsetenv(("KELVARIN_COM" + std::to_string(n)).c_str());
    fs::remove_all(root);
}

}  // namespace
