// The simulated tool against the protocol core in one process, on a virtual
// clock so resends happen without waiting.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/upload_state.h"
#include "sim_session.h"

namespace {

using torque_sim::Fault;

struct Bench {
    explicit Bench(torque_sim::Config config) : tool(std::move(config)) {}

    // Runs until the tool has nothing more to say and nothing to resend.
    void Run() {
        host.BeginUpload();
        for (int step = 0; step < 100000; ++step) {
            if (!toTool.empty()) {
                std::vector<std::uint8_t> bytes;
                bytes.swap(toTool);
                tool.Receive(bytes.data(), bytes.size(), now);
            }
            const torque_sim::Bytes out = tool.TakeOutput();
            for (std::uint8_t b : out) host.receiver.OnByte(b);
            if (out.empty() && toTool.empty()) {
                if (!tool.Deadline()) return;
                now = *tool.Deadline();
                tool.Tick(now);
            }
        }
        FAIL() << "the exchange did not settle";
    }

    torque_sim::Session tool;
    std::vector<std::uint8_t> toTool;
    UploadState host{[this](const std::uint8_t* b, std::uint32_t n) { toTool.assign(b, b + n); }};
    torque_sim::Clock::time_point now{};
};

void ExpectEveryRecordOnce(const UploadState& host,
                           const std::vector<torque_sim::SimRecord>& sent) {
    ASSERT_EQ(host.list.GetItemCount(), static_cast<int>(sent.size()));
    ASSERT_EQ(host.records.GetSize(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(host.records[i].id, sent[i].id);
        EXPECT_EQ(host.list.GetItemText(static_cast<int>(i), 0), std::to_string(sent[i].id));
        EXPECT_EQ(host.records[i].unit, sent[i].unit);
        EXPECT_EQ(host.records[i].failed != 0, sent[i].failed);
    }
    EXPECT_TRUE(host.exportEnabled);
    EXPECT_EQ(host.lengthText, std::to_string(sent.size()));
}

// No faults, each fault kind at chosen frames (12 records: frame 14 is the
// end frame), then random faults over a full memory: every record once.
TEST(SimulatedUpload, EveryRecordArrivesOnceWhateverTheToolGetsWrong) {
    std::vector<torque_sim::Config> configs(1);
    configs[0].records = torque_sim::DefaultRecords(255);
    configs[0].retransmitAfter = std::chrono::milliseconds(0);
    for (Fault fault :
         {Fault::BadCheck, Fault::UnknownCommand, Fault::StrayBytes, Fault::ShortPayload}) {
        for (int at : {0, 1, 2, 7, 12}) {
            configs.emplace_back().records = torque_sim::DefaultRecords(12);
            configs.back().faults.at = {{at, fault}, {14, fault}};
        }
    }
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        configs.emplace_back().records = torque_sim::DefaultRecords(255);
        configs.back().faults.rate = 0.2;
        configs.back().faults.seed = seed;
    }
    for (std::size_t i = 0; i < configs.size(); ++i) {
        SCOPED_TRACE(i);
        Bench bench(configs[i]);
        bench.Run();
        ExpectEveryRecordOnce(bench.host, configs[i].records);
        EXPECT_EQ(bench.tool.GetStats().uploadsCompleted, 1);
        EXPECT_EQ(bench.host.rangeText, "20");
    }
}

}  // namespace
