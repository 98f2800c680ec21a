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
#include "report_html.h"
#include "upload_stats.h"
#include "upload_workbook.h"

namespace {

namespace fs = std::filesystem;
fs::path g_folder = ".";

UploadEntry Upload(std::mt19937& random, int records, const std::string& device,
                   bool mixed = true) {
    std::normal_distribution<double> torque(12.5, 0.15);
    UploadEntry entry = NewUploadEntry("kelvarin-upload", 1, device);
    entry.info.fullRange = "20";
    entry.info.dataLength = std::to_string(records);
    entry.info.tags.tool = "T-0042";
    for (int i = 1; i <= records; ++i) {
        char data[32];
        std::snprintf(data, sizeof data, "%.6f", torque(random));
        entry.records.push_back({std::to_string(i),
                                 data,
                                 i % 5 || !mixed ? "N.m" : "lbf.in",
                                 i % 17 ? "passed" : "failed",
                                 {}});
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

// A capability report over 10,000 readings (40 uploads of 250), from the
// selection to the page, and the page's size.
void ReportOverTenThousandReadings(benchmark::State& state) {
    const fs::path file = g_folder / ("history-bench-report-" + std::to_string(getpid()));
    std::mt19937 random(3);
    {
        HistoryDb db(file.string(), HistoryDb::Access::Record);
        Execute(db.Handle(), "PRAGMA synchronous = OFF", db.Path());
        for (int i = 0; i < 40; ++i)
            db.Record(Upload(random, 250, "/dev/ttyUSB" + std::to_string(i), false));
    }
    HistoryDb db(file.string(), HistoryDb::Access::Read);
    std::size_t bytes = 0, readings = 0;
    for (auto _ : state) {
        ReportInput input;
        input.uploads = SelectUploads(db, {});
        input.unit = "N.m";
        input.limits = {12.0, 13.0};
        SummaryBuilder builder(input.limits);
        ForEachReading(db, {}, [&](const ReadingRow& row) {
            if (!row.value || row.unit != "N.m") return;
            builder.Add(row.unit, row.value, row.failed);
            input.values.push_back(*row.value);
            if (*row.value < 12.0 || *row.value > 13.0)
                input.outside.push_back({row.upload, std::string(row.id), *row.value});
        });
        input.figures = builder.Finish().units.at(0);
        bytes = ReportHtml(input).size();
        readings = input.values.size();
    }
    state.counters["readings"] = static_cast<double>(readings);
    state.counters["page_bytes"] = static_cast<double>(bytes);
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
}
BENCHMARK(ReportOverTenThousandReadings)->Unit(benchmark::kMillisecond)->Iterations(10);

// An .xlsx of a 255-record upload with its summary, made without an office.
void WorkbookOf255Records(benchmark::State& state) {
    std::mt19937 random(4);
    const UploadEntry entry = Upload(random, 255, "/dev/ttyUSB0");
    TextList list;
    for (const StoredRecord& r : entry.records) {
        const int row = list.InsertItem(list.GetItemCount(), r.id);
        list.SetItemText(row, 1, r.data);
        list.SetItemText(row, 2, r.unit);
        list.SetItemText(row, 3, r.pass);
    }
    const UploadSummary summary = Summarise(ReadingsOf(list), Limits{12.0, 13.0});
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string error;
        bytes = UploadWorkbook({list, "20", "255", {}, &summary}, error).size();
        if (!error.empty()) state.SkipWithError(error.c_str());
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(WorkbookOf255Records)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1) g_folder = argv[1];
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const std::string& million = MillionReadings();
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(million + suffix);
}
