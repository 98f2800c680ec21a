// Plays a whole upload between the simulated torque tool and the protocol
// core in one process, printing the frames both ways and the resulting table.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "protocol/upload_state.h"
#include "sim_session.h"

namespace {

void PrintBytes(const char* who, const std::uint8_t* bytes, std::size_t count) {
    std::printf("%s", who);
    for (std::size_t i = 0; i < count; ++i) std::printf(" %02X", bytes[i]);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 12;
    if (count < 1 || count > 255) {
        std::fprintf(stderr, "usage: protocol-demo [RECORDS 1..255]\n");
        return 2;
    }
    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(count);
    torque_sim::Session tool(config);
    tool.trace = [](torque_sim::Direction d, const torque_sim::Bytes& b) {
        if (d == torque_sim::Direction::ToHost) PrintBytes("tool -> host:", b.data(), b.size());
    };

    std::vector<std::uint8_t> toTool;
    UploadState host([&](const std::uint8_t* bytes, std::uint32_t n) {
        PrintBytes("host -> tool:", bytes, n);
        toTool.assign(bytes, bytes + n);
    });

    host.BeginUpload();
    const auto now = torque_sim::Clock::now();
    while (!toTool.empty()) {
        std::vector<std::uint8_t> request;
        request.swap(toTool);
        tool.Receive(request.data(), request.size(), now);
        for (std::uint8_t b : tool.TakeOutput()) host.receiver.OnByte(b);
    }

    std::printf("\nFull Range: %s\nData Length: %s\nExport enabled: %s\n\n", host.rangeText.c_str(),
                host.lengthText.c_str(), host.exportEnabled ? "yes" : "no");
    std::printf("%-6s %-14s %-10s %s\n", "ID", "DATA", "UNIT", "PASS");
    for (int row = 0; row < host.list.GetItemCount(); ++row) {
        std::printf("%-6s %-14s %-10s %s\n", host.list.GetItemText(row, 0).c_str(),
                    host.list.GetItemText(row, 1).c_str(), host.list.GetItemText(row, 2).c_str(),
                    host.list.GetItemText(row, 3).c_str());
    }
    return host.exportEnabled ? 0 : 1;
}
