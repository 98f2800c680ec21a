#include "serial/port_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

TEST_F(PortPathTest, AdaptersAreNumberedUsbBeforeAcmInNumericOrder) {
    Devices({"ttyS0", "ttyACM0"});
    EXPECT_EQ(PortDevicePath(1, m_dir), m_dir + "/ttyACM0") << "a single adapter is port 1";
    EXPECT_EQ(PortDevicePath(2, m_dir), "");

    Devices({"ttyUSB10", "ttyUSB2", "ttyUSBx"});
    EXPECT_EQ(PortDevicePath(1, m_dir), m_dir + "/ttyUSB2");
    EXPECT_EQ(PortDevicePath(2, m_dir), m_dir + "/ttyUSB10");
    EXPECT_EQ(PortDevicePath(3, m_dir), m_dir + "/ttyACM0");
    EXPECT_EQ(PortDevicePath(4, m_dir), "") << "ttyUSBx is no adapter name";
}

TEST_F(PortPathTest, EnvironmentNamesOnlyItsOwnPortFromOneToTwelve) {
    Devices({"ttyUSB0"});
    setenv("KELVARIN_COM1", "/dev/pts/7", 1);
    setenv("KELVARIN_COM12", "/dev/ttyS3", 1);
    setenv("KELVARIN_COM2", "", 1);  // empty means unset
    setenv("KELVARIN_COM13", "/dev/ttyS0", 1);
    EXPECT_EQ(PortDevicePath(1, m_dir), "/dev/pts/7");
    EXPECT_EQ(PortDevicePath(12, m_dir), "/dev/ttyS3");
    for (int number : {2, 0, 13, -1}) EXPECT_EQ(PortDevicePath(number, m_dir), "") << number;
}

}  // namespace
