#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "history/history_db.h"
#include "history/history_error.h"
#include "history/history_query.h"
#include "history/history_time.h"
#include "history/history_writer.h"
#include "history/record_failure.h"
#include "history/sqlite_statement.h"

namespace {

namespace fs = std::filesystem;

struct HistoryStore : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("kelvarin-history-" + std::to_string(getpid()));
    std::string path = (dir / "h.sqlite3").string();
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
};

UploadEntry Entry(const std::string& device, const std::string& unit = "N.m", int records = 3) {
    UploadEntry entry = NewUploadEntry("kelvarin-upload", 4, device);
    entry.info.fullRange = "20";
    entry.info.dataLength = std::to_string(records);
    for (int i = 1; i <= records; ++i)
        entry.records.push_back({std::to_string(i),
                                 i == 2 ? "null" : "12.340000",
                                 unit,
                                 i == 3 ? "failed" : "passed",
                                 {}});
    return entry;
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(HistoryTime, BoundsCoverWhatTheTextNames) {
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"2026-12-07", false, "2026-12-07T00:00:00.000Z"},
        {"2026-12-07", true, "2026-12-08T00:00:00.000Z"},
        {"2024-02-29T23:59", true, "2024-03-01T00:00:00.000Z"},
        {"2026-12-31 23:59:59", true, "2027-01-01T00:00:00.000Z"},
        {"2026-12-07T14:30:00.5+01:00", false, "2026-12-07T13:30:00.500Z"},
        {"2026-01-01T00:30:00-02:30Z", false, nullptr},
        {"2026-12-07T01:00:00-02:30", false, "2026-12-07T03:30:00.000Z"},
        {"1969-12-31T23:59:59.999Z", false, "1969-12-31T23:59:59.999Z"},
        {"2023-02-29", false, nullptr},
        {"2026-13-01", false, nullptr},
        {"2026-12-7", false, nullptr},
        {"2026-12-07T24:00", false, nullptr},
        {"2026-12-07T", false, nullptr},
        {"", false, nullptr},
    };
    for (const auto& [text, isEnd, bound] : cases) {
        SCOPED_TRACE(text);
        const auto got = TimeBound(text, isEnd);
        EXPECT_EQ(got.value_or("none"), bound ? bound : "none");
    }
}

// Texts come back byte for byte, values from DATA; a plain re-upload from the
// same device is marked as a repeat of the latest one, nothing else is.
TEST_F(HistoryStore, KeepsTextsExactlyAndMarksPlainReuploads) {
    HistoryDb db(path, HistoryDb::Access::Record);
    UploadEntry hostile = Entry("/dev/ttyUSB0");
    hostile.info.tags = {"a'); DROP TABLE upload; --", "张三\n\"x\"", std::nullopt};
    hostile.records[0].unit = "N.m'\"\\";
    const std::int64_t first = db.Record(hostile);
    const auto back = LoadUpload(db, first);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->info.tags.tool, hostile.info.tags.tool);
    EXPECT_EQ(back->info.tags.operatorName, hostile.info.tags.operatorName);
    EXPECT_FALSE(back->info.tags.job);
    EXPECT_EQ(back->records[0].unit, hostile.records[0].unit);
    EXPECT_EQ(back->records[0].value, 12.34);
    EXPECT_FALSE(back->records[1].value);
    EXPECT_EQ(back->info.records, 3);

    UploadEntry otherRange = hostile;
    otherRange.info.fullRange = "25";
    const std::pair<UploadEntry, std::optional<std::int64_t>> next[] = {
        {hostile, first},                       // 2: repeat of 1
        {hostile, first + 1},                   // 3: of the latest, 2
        {Entry("/dev/ttyUSB1"), {}},            // another device
        {otherRange, {}},                       // the full range differs
        {Entry("/dev/ttyUSB0", "N.m", 2), {}},  // fewer records
    };
    for (const auto& [entry, repeatOf] : next)
        EXPECT_EQ(LoadUpload(db, db.Record(entry))->info.repeatOf, repeatOf);
    // One text of one row differs from the latest upload, which repeats none.
    for (auto text :
         {&StoredRecord::id, &StoredRecord::data, &StoredRecord::unit, &StoredRecord::pass}) {
        db.Record(hostile);
        UploadEntry other = hostile;
        other.records[2].*text += "x";
        EXPECT_FALSE(LoadUpload(db, db.Record(other))->info.repeatOf);
    }
    EXPECT_EQ(CountHistory(db).repeats, 2);
}

TEST_F(HistoryStore, SelectionsPickTheirUploads) {
    {
        HistoryDb db(path, HistoryDb::Access::Record);
        const char* days[] = {"2026-12-01T10:00:00.000Z", "2026-12-02T23:59:59.999Z",
                              "2026-12-03T00:00:00.000Z", "2026-12-04T08:00:00.000Z"};
        for (int i = 0; i < 4; ++i) {
            UploadEntry e = Entry(i % 2 ? "/dev/b" : "/dev/a");
            e.info.finished = days[i];
            e.info.port = i + 1;
            e.info.tags.tool = i < 2 ? "T1" : "T2";
            if (i == 2) e.info.fullRange = "25";
            if (i == 3) e = Entry("/dev/b"), e.info.finished = days[3], e.info.port = 4;
            db.Record(e);
        }
    }
    HistoryDb db(path, HistoryDb::Access::Read);
    const auto ids = [&](Selection s) {
        std::vector<std::int64_t> got;
        for (const UploadInfo& u : SelectUploads(db, s)) got.push_back(u.id);
        return got;
    };
    using V = std::vector<std::int64_t>;
    EXPECT_EQ(ids({}), (V{1, 2, 3, 4}));
    EXPECT_EQ(
        ids({.since = TimeBound("2026-12-02", false), .until = TimeBound("2026-12-02", true)}),
        V{2});
    EXPECT_EQ(ids({.tool = "T1"}), (V{1, 2}));
    EXPECT_EQ(ids({.device = "/dev/b", .port = 4}), V{4});
    EXPECT_EQ(ids({.uploads = {3, 1, 99}}), (V{1, 3}));
    EXPECT_EQ(ids({.device = "/dev/a", .last = 1}), V{3});
    EXPECT_EQ(ids({.repeats = false}), (V{1, 2, 3}));  // 4 repeats 2
    EXPECT_EQ(ids({.operatorName = "nobody"}), V{});
    int readings = 0;
    ForEachReading(db, {.last = 2, .repeats = false}, [&](const ReadingRow& row) {
        EXPECT_EQ(row.unit, "N.m");
        ++readings;
    });
    EXPECT_EQ(readings, 6);
}

// What is not this version's history is refused and left exactly as it was.
TEST_F(HistoryStore, RefusesWhatItCannotReadAndLeavesItAlone) {
    const auto refused = [&](const std::string& file, const char* says) {
        const std::string before = Bytes(file);
        for (auto access : {HistoryDb::Access::Record, HistoryDb::Access::Read}) {
            try {
                HistoryDb db(file, access);
                ADD_FAILURE() << file << " opened";
            } catch (const HistoryError& error) {
                EXPECT_NE(std::string(error.what()).find(says), std::string::npos) << error.what();
            }
        }
        EXPECT_EQ(Bytes(file), before);
    };
    std::ofstream(dir / "text") << std::string(5000, 'x');
    refused((dir / "text").string(), "file is not a database");
    { HistoryDb(path, HistoryDb::Access::Record).Record(Entry("/dev/a")); }
    sqlite3* raw = nullptr;
    sqlite3_open(path.c_str(), &raw);
    sqlite3_exec(raw, "PRAGMA user_version = 2", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    refused(path, "written by a newer Kelvarin (history version 2; this one reads up to 1)");
    const std::string other = (dir / "other.db").string();
    sqlite3_open(other.c_str(), &raw);
    sqlite3_exec(raw, "CREATE TABLE t (x)", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    refused(other, "not a Kelvarin history");
    EXPECT_THROW(HistoryDb((dir / "none").string(), HistoryDb::Access::Read), HistoryError);
    EXPECT_FALSE(fs::exists(dir / "none"));
}

// Two writers at once both land: the second waits out the first's lock.
TEST_F(HistoryStore, WritersAtOnceBothLand) {
    { HistoryDb(path, HistoryDb::Access::Record); }
    sqlite3* holder = nullptr;
    sqlite3_open(path.c_str(), &holder);
    sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    std::vector<std::thread> writers;
    for (const char* device : {"/dev/a", "/dev/b"})
        writers.emplace_back([&, device] {
            HistoryDb db(path, HistoryDb::Access::Record);
            EXPECT_NO_THROW(db.Record(Entry(device, "N.m", 255)));
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    for (auto& w : writers) w.join();
    EXPECT_EQ(CountHistory(HistoryDb(path, HistoryDb::Access::Read)).readings, 510);
}

// The window's writer: it records off the caller's thread, asks about the
// last acknowledgement just before, and keeps a failure for `status`.
TEST_F(HistoryStore, WriterRecordsOffThreadAndKeepsItsFailures) {
    std::vector<std::string> failures;
    {
        HistoryWriter writer(path, [&](const std::string& line) { failures.push_back(line); });
        writer.Keep(Entry("/dev/a"), [] { return false; });
        writer.Keep(Entry("/dev/b"), nullptr);
    }
    const auto uploads = SelectUploads(HistoryDb(path, HistoryDb::Access::Read), {});
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_FALSE(uploads[0].lastAckWritten);
    EXPECT_TRUE(uploads[1].lastAckWritten);
    EXPECT_TRUE(failures.empty());

    const std::string text = (dir / "text").string();
    std::ofstream(text) << std::string(5000, 'x');
    {
        HistoryWriter(text, [&](const std::string& line) {
            failures.push_back(line);
        }).Keep(Entry("/dev/a"), nullptr);
    }
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0],
              "the upload is not in the history: " + text + ": file is not a database");
    EXPECT_NE(LastRecordFailure(text).find(failures[0]), std::string::npos);
    EXPECT_EQ(Bytes(text), std::string(5000, 'x'));
}

// A recording program killed at any moment leaves each upload whole or absent.
TEST_F(HistoryStore, KilledWhileRecordingLeavesWholeUploadsOnly) {
    std::mt19937 random(7);
    for (int round = 0; round < 12; ++round) {
        const pid_t child = fork();
        if (child == 0) {
            HistoryDb db(path, HistoryDb::Access::Record);
            for (;;) db.Record(Entry("/dev/a", "N.m", 255));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 30000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    HistoryDb db(path, HistoryDb::Access::Read);
    Statement torn(db.Handle(),
                   "SELECT count(*) FROM upload u "
                   "WHERE records != (SELECT count(*) FROM reading WHERE upload = u.id)",
                   db.Path());
    ASSERT_TRUE(torn.Step());
    EXPECT_EQ(torn.Int(0), 0);
    Statement check(db.Handle(), "PRAGMA integrity_check", db.Path());
    ASSERT_TRUE(check.Step());
    EXPECT_EQ(check.Text(0), "ok");
    EXPECT_GT(CountHistory(db).uploads, 0);
}

}  // namespace
