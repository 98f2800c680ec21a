// The shipped Linux program end to end: `kelvarin` as built, with its own
// serial platform and spreadsheet client and the spreadsheet module beside
// it, on a virtual display. Real clicks upload from the simulated tool on a
// pty; "Export" fills a document in a private office, read back cell by cell.
//
//   program_tests KELVARIN CALC_MODULE      (under xvfb-run)
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "export/export_to_excel.h"
#include "office_fixture.h"
#include "protocol/upload_state.h"
#include "pty_tool.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
std::string g_program, g_module;

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        for (char buffer[256]; fgets(buffer, sizeof buffer, p);) out += buffer;
        pclose(p);
    }
    return out;
}

bool WaitFor(const std::function<bool()>& done, int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(200)))
        if (std::chrono::steady_clock::now() > deadline) return false;
    return true;
}

TEST(KelvarinProgram, UploadsAndExportsThroughItsOwnPartsAndEndsOnEscape) {
    ASSERT_FALSE(g_module.empty()) << "usage: program_tests KELVARIN CALC_MODULE";
    // Installed as the install rules place them: the module beside the program.
    PrivateOffice office;
    const fs::path bin = fs::path(office.ProfileDir()) / "bin";
    fs::create_directories(bin);
    fs::copy_file(g_program, bin / "kelvarin");
    fs::copy_file(g_module, bin / fs::path(g_module).filename());

    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(5);
    PtyTool tool(config);
    ASSERT_TRUE(tool.Ready());
    setenv("KELVARIN_COM1", tool.Path().c_str(), 1);
    setenv("KELVARIN_OFFICE_PROFILE", office.ProfileDir().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string program = (bin / "kelvarin").string();
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
    struct Reap {
        pid_t pid;
        ~Reap() {
            if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
        }
    } reap{pid};

    std::istringstream found(
        Shell("timeout 20 xdotool search --sync --onlyvisible --name '^Kelvarin$'"));
    std::string window;
    ASSERT_TRUE(found >> window) << "the window never appeared";
    // Centres of Port Open, Upload and Export in the window's pixels (see the
    // layout table of the window's own tests).
    auto click = [&](int x, int y) {
        Shell("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
              std::to_string(y) + " click 1");
    };
    click(193, 24);
    click(441, 107);
    // The request, then an acknowledgement for full range, data length, each
    // record and the end frame.
    ASSERT_TRUE(WaitFor([&] { return tool.FromHost().size() == config.records.size() + 4; }, 30));
    // The spreadsheet module, with the office's libraries, waits for Export.
    const std::string module = (bin / fs::path(g_module).filename()).string();
    auto moduleMapped = [&] {
        std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
        return std::string(std::istreambuf_iterator<char>(maps), {}).find(module) !=
               std::string::npos;
    };
    EXPECT_FALSE(moduleMapped()) << "the module was loaded before the first export";
    click(441, 147);

    std::vector<css::uno::Reference<css::sheet::XSpreadsheetDocument>> docs;
    std::unique_ptr<OfficeReader> reader;
    ASSERT_TRUE(WaitFor([&] {
        try {
            if (!reader) reader = std::make_unique<OfficeReader>(office.ProfileDir());
            docs = reader->Documents();
            return docs.size() == 1 && OfficeReader::CellText(docs[0], "D6") != "";
        } catch (...) {
            return false;  // no office yet
        }
    })) << "no document in the office";

    UploadState expected(nullptr);
    expected.BeginUpload();
    for (const torque_sim::SimRecord& r : config.records)
        for (std::uint8_t b :
             torque_sim::EncodeFrame(CMD_RECORD, torque_sim::EncodeRecordPayload(r)))
            expected.receiver.OnByte(b);
    const char* headings[] = {"ID", "DATA", "UNIT", "PASS"};
    for (int c = 0; c < 4; ++c) {
        const std::string letter = ColumnLetter(c);
        EXPECT_EQ(OfficeReader::CellText(docs[0], letter + "1"), headings[c]);
        for (int r = 0; r < 5; ++r)
            EXPECT_EQ(OfficeReader::CellText(docs[0], letter + std::to_string(r + 2)),
                      expected.list.GetItemText(r, c));
    }
    EXPECT_EQ(OfficeReader::CellText(docs[0], "A7"), "");
    EXPECT_TRUE(moduleMapped()) << "the module beside the program was not the one loaded";
    reader.reset();

    Shell("xdotool key --window " + window + " Escape");
    int status = -1;
    ASSERT_TRUE(WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 15))
        << "the program did not end on Escape";
    reap.pid = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 2) g_program = argv[1], g_module = argv[2];
    return RUN_ALL_TESTS();
}
