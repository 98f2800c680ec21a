#include <gtest/gtest.h>

#include <cstdlib>

#include "pty_tool.h"
#include "upload_rig.h"

namespace {

using namespace std::chrono_literals;

// Many opens, uploads and closes in a row, some closing in mid-upload:
// under ThreadSanitizer this is the race and deadlock check of the port.
TEST(SerialCycles, ThousandOpenUploadCloseCyclesWithTraffic) {
    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(2);
    config.retransmitAfter = std::chrono::milliseconds(0);
    PtyTool tool(config);
    ASSERT_TRUE(tool.Ready());
    setenv("KELVARIN_COM1", tool.Path().c_str(), 1);

    UploadRig rig;
    int completed = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_TRUE(rig.Open(1)) << "cycle " << cycle;
        const std::size_t heard = tool.FromHost().size();
        if (cycle % 4 == 3) {
            // Close while the tool is still talking.
            rig.state.BeginUpload();
            const int before = rig.bytes;
            rig.PumpUntil([&] { return rig.bytes > before; }, 5s);
        } else {
            ASSERT_TRUE(rig.Upload(10s)) << "cycle " << cycle;
            ASSERT_EQ(rig.state.list.GetItemCount(), 2);
            // The next open purges both directions, also an acknowledgement
            // the tool has not read yet: let it arrive first (request and
            // five acknowledgements).
            ASSERT_TRUE(rig.PumpUntil([&] { return tool.FromHost().size() >= heard + 6; }, 5s));
            ++completed;
        }
        rig.port.Close();
        ASSERT_FALSE(rig.port.IsMonitoring());
    }
    unsetenv("KELVARIN_COM1");
    // A cycle closed in mid-upload may still have finished on the wire.
    EXPECT_GE(tool.Stop().uploadsCompleted, completed);
}

}  // namespace
