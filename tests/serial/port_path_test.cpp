#include "serial/port_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "serial/port_list.h"

namespace {

class PortPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvarin-dev-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        ClearEnvironment();
    }
    void TearDown() override {
        std::filesystem::remove_all(m_dir);
        ClearEnvironment();
    }
    static void ClearEnvironment() {
        for (int n = 0; n <= 13; ++n) unsetenv(("KELVARIN_COM" + std::to_string(n)).c_str());
    }
    void Devices(std::initializer_list<const char*> names) {
        for (const char* name : names) std::ofstream(m_dir + "/" + name).put('\0');
    }

    std::string m_dir;
};

// USB adapters before ACM ones, each in numeric order, fill the numbers 1 to
// 12 that no variable claims; an empty variable claims nothing.
TEST_F(PortPathTest, AdaptersFillTheNumbersNoVariableClaims) {
    Devices({"ttyS0", "ttyACM0", "ttyUSB10", "ttyUSB2", "ttyUSBx"});
    for (const char* variable :
         {"KELVARIN_COM1=/dev/pts/7", "KELVARIN_COM2=", "KELVARIN_COM3=/dev/pts/8",
          "KELVARIN_COM12=/dev/ttyS3", "KELVARIN_COM13=/dev/ttyS0"})
        putenv(const_cast<char*>(variable));
    const char* want[] = {"", "/dev/pts/7", "ttyUSB2", "/dev/pts/8", "ttyUSB10", "ttyACM0",    "",
                          "", "",           "",        "",           "",         "/dev/ttyS3", ""};
    for (int n = -1; n <= 13; ++n) {
        const std::string name = n < 0 ? "" : want[n];  // ports 0 to 13, adapters by name
        EXPECT_EQ(PortDevicePath(n, m_dir),
                  name.empty() || name[0] == '/' ? name : m_dir + "/" + name)
            << n;
    }
}

TEST_F(PortPathTest, ListingNamesEachPortsDeviceAndWhy) {
    // A made-up /dev, /dev/serial/by-id and sysfs with one known adapter.
    namespace fs = std::filesystem;
    const fs::path root = m_dir;
    for (const char* folder :
         {"dev", "by-id", "sys/devices/usb1/1-1/1-1:1.0/ttyUSB0", "sys/tty/ttyUSB0"})
        fs::create_directories(root / folder);
    std::ofstream(root / "dev/ttyUSB0").put('\0');
    std::ofstream(root / "dev/ttyACM0").put('\0');
    std::ofstream(root / "sys/devices/usb1/1-1/idVendor") << "0403\n";
    std::ofstream(root / "sys/devices/usb1/1-1/manufacturer") << "FTDI\n";
    std::ofstream(root / "sys/devices/usb1/1-1/product") << "FT232R USB UART\n";
    fs::create_directory_symlink(root / "sys/devices/usb1/1-1/1-1:1.0/ttyUSB0",
                                 root / "sys/tty/ttyUSB0/device");
    fs::create_symlink("../dev/ttyUSB0", root / "by-id/usb-FTDI_FT232R_A1-if00-port0");
    const PortListRoots roots{m_dir + "/dev", m_dir + "/by-id", m_dir + "/sys/tty"};

    const std::string listing = ListPorts(roots);
    EXPECT_EQ(listing.substr(0, listing.find("   4")),
              "port  device (* exists)\n"
              "   1  * " +
                  m_dir + "/dev/ttyUSB0 (USB adapter 1, " + m_dir +
                  "/by-id/usb-FTDI_FT232R_A1-if00-port0, FTDI FT232R USB UART)\n"
                  "   2  * " +
                  m_dir +
                  "/dev/ttyACM0 (USB adapter 2)\n"
                  "   3    none (set KELVARIN_COM3 or plug in another USB adapter)\n");

    EXPECT_NE(listing.find("  12    none"), std::string::npos) << listing;
}

}  // namespace
