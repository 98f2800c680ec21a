#include "serial/port_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class PortPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvarin-dev-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        for (int n = 1; n <= 12; ++n) unsetenv(("KELVARIN_COM" + std::to_string(n)).c_str());
    }
    void TearDown() override {
        fs::remove_all(m_dir);
        for (int n = 1; n <= 12; ++n) unsetenv(("KELVARIN_COM" + std::to_string(n)).c_str());
    }
    void Device(const std::string& name) { std::ofstream(m_dir + "/" + name).put('\0'); }

    std::string m_dir;
};

TEST_F(PortPathTest, SingleUsbAdapterIsPortOne) {
    Device("ttyS0");
    Device("ttyS1");
    Device("ttyACM0");
    EXPECT_EQ(PortDevicePath(1, m_dir), m_dir + "/ttyACM0");
    EXPECT_EQ(PortDevicePath(2, m_dir), "");
}

TEST_F(PortPathTest, AdaptersAreNumberedInNumericOrderUsbBeforeAcm) {
    Device("ttyUSB10");
    Device("ttyUSB2");
    Device("ttyACM1");
    Device("ttyUSBx");  // not an adapter name
    EXPECT_EQ(PortDevicePath(1, m_dir), m_dir + "/ttyUSB2");
    EXPECT_EQ(PortDevicePath(2, m_dir), m_dir + "/ttyUSB10");
    EXPECT_EQ(PortDevicePath(3, m_dir), m_dir + "/ttyACM1");
    EXPECT_EQ(PortDevicePath(4, m_dir), "");
}

TEST_F(PortPathTest, EnvironmentNamesThePortAndOnlyThatPort) {
    Device("ttyUSB0");
    setenv("KELVARIN_COM1", "/dev/pts/7", 1);
    setenv("KELVARIN_COM12", "/dev/ttyS3", 1);
    setenv("KELVARIN_COM2", "", 1);  // empty means unset
    EXPECT_EQ(PortDevicePath(1, m_dir), "/dev/pts/7");
    EXPECT_EQ(PortDevicePath(12, m_dir), "/dev/ttyS3");
    EXPECT_EQ(PortDevicePath(2, m_dir), "");
}

TEST_F(PortPathTest, NumbersOutsideOneToTwelveHaveNoDevice) {
    Device("ttyUSB0");
    setenv("KELVARIN_COM13", "/dev/ttyS0", 1);
    EXPECT_EQ(PortDevicePath(0, m_dir), "");
    EXPECT_EQ(PortDevicePath(13, m_dir), "");
    EXPECT_EQ(PortDevicePath(-1, m_dir), "");
    unsetenv("KELVARIN_COM13");
}

}  // namespace
