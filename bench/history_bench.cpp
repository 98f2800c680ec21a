// The history: recording one 255-record upload with the durability a killed
// program needs (full sync, WAL), a summary over a million stored readings,
// and the file's bytes per reading. Run from a folder on the disk that holds
// users' histories (the current folder by default):
//
//   history_bench [--benchmark_filter=...] [FOLDER]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "history/history_db.h"
#include "history/history_query.h"
#include "history/sqlite_statement.h"
#include "upload_stats.h"

namespace {

namespace fs = std::filesystem;
fs::path g_folder = ".";

UploadEntry Upload(std::mt19937& random, int records, const std::string& device) {
    std::normal_distribution<double> torque(12.5, 0.15);
    UploadEntry entry = NewUploadEntry("kelvarin-upload", 1, device);
    entry.info.fullRange = "20";
    entry.info.dataLength = std::to_string(records);
    entry.info.tags.tool = "T-0042";
    for (int i = 1; i <= records; ++i) {
        char data[32];
        std::snprintf(data, sizeof data, "%.6f", torque(random));
        entry.records.push_back(
            {std::to_string(i), data, i % 5 ? "N.m" : "lbf.in", i % 17 ? "passed" : "failed", {}});
    }
    return entry;
}

void RecordUpload255(benchmark::State& state) {
    const fs::path file = g_folder / ("history-bench-record-" + std::to_string(getpid()));
    std::mt19937 random(1);
    {
        HistoryDb db(file.string(), HistoryDb::Access::Record);
        for (auto _ : state) {
            state.PauseTiming();
            // A new device each time: no earlier upload to compare with.
            const UploadEntry entry = Upload(random, 255, "/dev/tty" + std::to_string(random()));
            state.ResumeTiming();
            benchmark::DoNotOptimize(db.Record(entry));
        }
    }
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
}
BENCHMARK(RecordUpload255)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// 4,000 uploads of 250 readings; made once, fast (no sync): the figures are
// about reading them.
const std::string& MillionReadings() {
    static const std::string path = [] {
        const fs::path file = g_folder / ("history-bench-million-" + std::to_string(getpid()));
        std::mt19937 random(2);
        HistoryDb db(file.string(), HistoryDb::Access::Record);
        Execute(db.Handle(), "PRAGMA synchronous = OFF", db.Path());
        for (int i = 0; i < 4000; ++i)
            db.Record(Upload(random, 250, "/dev/serial/by-id/usb-tool-" + std::to_string(i % 7)));
        Execute(db.Handle(), "PRAGMA wal_checkpoint(TRUNCATE)", db.Path());
        return file.string();
    }();
    return path;
}

void StatsOverAMillionReadings(benchmark::State& state) {
    HistoryDb db(MillionReadings(), HistoryDb::Access::Read);
    std::int64_t readings = 0;
    for (auto _ : state) {
        SummaryBuilder builder(Limits{11.5, 13.5});
        readings = 0;
        ForEachReading(db, {.repeats = false}, [&](const ReadingRow& row) {
            builder.Add(row.unit, row.value, row.failed);
            ++readings;
        });
        benchmark::DoNotOptimize(builder.Finish());
    }
    state.counters["readings"] = static_cast<double>(readings);
    state.counters["file_bytes_per_reading"] =
        static_cast<double>(fs::file_size(MillionReadings())) / static_cast<double>(readings);
}
BENCHMARK(StatsOverAMillionReadings)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1) g_folder = argv[1];
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const std::string& million = MillionReadings();
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(million + suffix);
}
