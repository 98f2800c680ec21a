// How long the frame receiver takes for a whole 255-record upload, fed one
// byte at a time as the serial worker delivers it.
#include <benchmark/benchmark.h>

#include <vector>

#include "protocol/upload_state.h"
#include "sim_session.h"

namespace {

std::vector<std::uint8_t> UploadStream(int records) {
    std::vector<std::uint8_t> stream;
    auto add = [&](const torque_sim::Bytes& f) { stream.insert(stream.end(), f.begin(), f.end()); };
    add(torque_sim::EncodeFrame(0x01, {0x4E, 0x20}));
    add(torque_sim::EncodeFrame(0x02, {static_cast<std::uint8_t>(records)}));
    for (const auto& r : torque_sim::DefaultRecords(records))
        add(torque_sim::EncodeFrame(0x03, torque_sim::EncodeRecordPayload(r)));
    add(torque_sim::EncodeFrame(0x04, {}));
    return stream;
}

void BM_ReceiveFullUpload(benchmark::State& state) {
    const auto stream = UploadStream(255);
    for (auto _ : state) {
        UploadState host([](const std::uint8_t*, std::uint32_t) {});
        host.BeginUpload();
        for (std::uint8_t b : stream) host.receiver.OnByte(b);
        benchmark::DoNotOptimize(host.list.GetItemCount());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ReceiveFullUpload);

}  // namespace

BENCHMARK_MAIN();
