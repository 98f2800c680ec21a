// The shipped Linux program end to end: `kelvarin` as built, with its own
// serial platform and spreadsheet client and the spreadsheet module beside
// it, on a virtual display. Real clicks upload from the simulated tool on a
// pty; "Export" fills a document in a private office, read back whole.
//
//   program_tests KELVARIN CALC_MODULE      (under xvfb-run)
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "history/history_db.h"
#include "history/history_query.h"
#include "office_fixture.h"
#include "pty_tool.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
std::string g_program, g_module;

// xdotool commands on the program's window, e.g. clicks at the centres of
// its buttons in the window's pixels (the layout table of the window's tests).
int OnWindow(const std::string& commands) {
    return std::system(("timeout 20 xdotool search --sync --onlyvisible --name '^Kelvarin$' " +
                        commands + " >/dev/null")
                           .c_str());
}

TEST(KelvarinProgram, UploadsAndExportsThroughItsOwnParts) {
    // Installed as the install rules place them: the module beside the program.
    PrivateOffice office(false);  // as a user's very first Export finds it
    const fs::path bin = fs::path(office.ProfileDir()) / "bin";
    const std::string program = bin / "kelvarin", module = bin / fs::path(g_module).filename();
    fs::create_directories(bin);
    fs::copy_file(g_program, program);
    fs::copy_file(g_module, module);

    PtyTool tool({.records = torque_sim::DefaultRecords(2), .faults = {}});
    setenv("KELVARIN_COM1", tool.Path().c_str(), 1);
    setenv("KELVARIN_OFFICE_PROFILE", office.ProfileDir().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string history = office.ProfileDir() + "/history.sqlite3";
    setenv("KELVARIN_HISTORY", history.c_str(), 1);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
    const std::unique_ptr<pid_t, void (*)(pid_t*)> reap(&pid, [](pid_t* p) {
        if (kill(*p, SIGKILL) == 0) waitpid(*p, nullptr, 0);
    });

    ASSERT_EQ(0, OnWindow("mousemove --window %1 193 24 click 1 mousemove --window %1 441 107 "
                          "click 1"))
        << "no window, or no Port Open and Upload";
    // The request, then an acknowledgement for full range, data length, each
    // record and the end frame.
    for (auto end = Clock::now() + 30s; tool.FromHost().size() != 2 + 4;
         std::this_thread::sleep_for(100ms))
        ASSERT_LT(Clock::now(), end) << "the upload did not end";
    // The spreadsheet module, with the office's libraries, waits for Export.
    auto moduleMapped = [&] {
        std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
        return std::string(std::istreambuf_iterator<char>(maps), {}).find(module) !=
               std::string::npos;
    };
    EXPECT_FALSE(moduleMapped()) << "the module was loaded before the first export";
    OnWindow("mousemove --window %1 441 147 click 1");

    // The simulated tool's two records as the window shows them, and nothing more.
    const std::vector<std::vector<std::string>> expected{{"ID", "DATA", "UNIT", "PASS", ""},
                                                         {"1", "12.340000", "N.m", "passed", ""},
                                                         {"2", "12.510000", "N.m", "passed", ""},
                                                         {"", "", "", "", ""}};
    std::vector<std::vector<std::string>> cells;
    std::string lastError;
    for (auto end = Clock::now() + 60s; cells != expected; std::this_thread::sleep_for(200ms)) {
        ASSERT_LT(Clock::now(), end) << testing::PrintToString(cells) << lastError;
        try {
            auto docs = OfficeReader(office.ProfileDir()).Documents();
            if (docs.size() == 1) cells = OfficeReader::Texts(docs[0], "A1:E4");
        } catch (const std::exception& e) {  // no office yet, or one that fails
            lastError = e.what();
        }
    }
    EXPECT_TRUE(moduleMapped()) << "the module beside the program was not the one loaded";

    // The window kept the upload in the history on its own.
    std::vector<UploadInfo> kept;
    for (auto end = Clock::now() + 10s; kept.empty() && Clock::now() < end;
         std::this_thread::sleep_for(100ms)) {
        try {
            kept = SelectUploads(HistoryDb(history, HistoryDb::Access::Read), {});
        } catch (const std::exception&) {  // not made yet
        }
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].source + " " + kept[0].device + " " + std::to_string(kept[0].records),
              "window " + tool.Path() + " 2");
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 2) g_program = argv[1], g_module = argv[2];
    return RUN_ALL_TESTS();
}
