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

TEST(SimulatedUpload, AllRecordsArriveOnceWithoutFaults) {
    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(255);
    config.retransmitAfter = std::chrono::milliseconds(0);
    Bench bench(config);
    bench.Run();
    ExpectEveryRecordOnce(bench.host, config.records);
    EXPECT_EQ(bench.host.rangeText, "20");
    EXPECT_EQ(bench.tool.GetStats().uploadsCompleted, 1);
    EXPECT_EQ(bench.tool.GetStats().framesSent, 258);
}

TEST(SimulatedUpload, EveryFaultKindIsRecoveredByResending) {
    for (Fault fault :
         {Fault::BadCheck, Fault::UnknownCommand, Fault::StrayBytes, Fault::ShortPayload}) {
        for (int at : {0, 1, 2, 7, 12}) {  // 12 records: frame 14 is the end frame
            torque_sim::Config config;
            config.records = torque_sim::DefaultRecords(12);
            config.faults.at[at] = fault;
            config.faults.at[14] = fault;
            Bench bench(config);
            bench.Run();
            SCOPED_TRACE(std::string(torque_sim::FaultName(fault)) + " at " + std::to_string(at));
            ExpectEveryRecordOnce(bench.host, config.records);
            EXPECT_EQ(bench.tool.GetStats().uploadsCompleted, 1);
        }
    }
}

TEST(SimulatedUpload, RandomFaultsOverAFullMemory) {
    for (std::uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        torque_sim::Config config;
        config.records = torque_sim::DefaultRecords(255);
        config.faults.rate = 0.2;
        config.faults.seed = seed;
        Bench bench(config);
        bench.Run();
        SCOPED_TRACE(seed);
        ExpectEveryRecordOnce(bench.host, config.records);
        EXPECT_GT(bench.tool.GetStats().faultsInjected, 20);
    }
}

TEST(SimulatedUpload, HangUpLeavesTheUploadUnfinished) {
    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(10);
    config.faults.at[5] = Fault::HangUp;
    Bench bench(config);
    bench.Run();
    EXPECT_TRUE(bench.tool.HungUp());
    EXPECT_EQ(bench.host.list.GetItemCount(), 3);
    EXPECT_FALSE(bench.host.exportEnabled);
}

TEST(SimulatedUpload, ANewRequestStartsOver) {
    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(4);
    config.faults.at[3] = Fault::HangUp;
    Bench first(config);
    first.Run();
    ASSERT_FALSE(first.host.exportEnabled);

    config.faults.at.clear();
    Bench second(config);
    second.Run();
    second.Run();  // a second upload on the same session
    ExpectEveryRecordOnce(second.host, config.records);
    EXPECT_EQ(second.tool.GetStats().uploadsCompleted, 2);
}

}  // namespace
