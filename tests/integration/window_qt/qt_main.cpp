#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>

#include "pty_tool.h"

// Widgets need their application object before any test makes a window; port
// 1 is the simulated tool on a pseudo-terminal, one per test process.
int main(int argc, char** argv) {
    // Offscreen also when the test list is asked for outside ctest.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A frame resent after Port Close would land in the next upload.
    PtyTool tool({.records = torque_sim::DefaultRecords(60), .retransmitAfter = {}, .faults = {}});
    setenv("KELVARIN_COM1", tool.Path().c_str(), 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
