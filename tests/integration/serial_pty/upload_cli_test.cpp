#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "line_link.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line, standard output and error kept apart.
Outcome Shell(const std::string& command) {
    const std::string errFile =
        ::testing::TempDir() + "kelvarin-upload-stderr-" + std::to_string(getpid());
    Outcome run;
    FILE* pipe = popen((command + " 2>" + errFile).c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    std::remove(errFile.c_str());
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.find_last_not_of('\r') + 1));
    return lines;
}

// The simulated tool as its own process, on a pty, for one upload.
Outcome UploadWithTool(const std::string& toolOptions, const std::string& uploadOptions) {
    const std::string command =
        "path=$(mktemp); " KELVARIN_TORQUE_SIM " --pty --fast --once " + toolOptions +
        " > $path 2>/dev/null & tool=$!; "
        "for i in $(seq 100); do [ -s $path ] && break; sleep 0.05; done; "
        "KELVARIN_COM4=$(head -1 $path) " KELVARIN_UPLOAD " --port 4 " +
        uploadOptions + "; status=$?; wait $tool; rm -f $path; exit $status";
    return Shell("bash -c '" + command + "'");
}

TEST(UploadCli, PrintsTheFieldsThenOneLinePerRecordAsTextOrCsv) {
    const std::pair<std::string, std::string> formats[] = {{"--timeout 20", "\t"}, {"--csv", ","}};
    for (const auto& [options, separator] : formats) {
        SCOPED_TRACE(options);
        const Outcome run = UploadWithTool("--records 30", options);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.err.empty()) << run.err;
        const auto lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 3u + 30u);
        EXPECT_EQ(lines[0], "Full Range: 20");
        EXPECT_EQ(lines[1], "Data Length: 30");
        EXPECT_EQ(lines[2], "ID" + separator + "DATA" + separator + "UNIT" + separator + "PASS");
        for (std::size_t i = 3; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].rfind(std::to_string(i - 2) + separator, 0), 0u) << lines[i];
            EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), separator[0]), 3) << lines[i];
        }
    }
}

TEST(UploadCli, FailuresEndNonZeroWithAMessageAndNoTable) {
    // No device behind the port.
    Outcome run = Shell("KELVARIN_COM2=/nonexistent/tty " KELVARIN_UPLOAD " --port 2");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("cannot open port 2"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());

    // A line on which nobody answers.
    std::string path, error;
    int keep = -1;
    const int master = torque_sim::OpenPseudoTerminal(path, keep, error);
    ASSERT_GE(master, 0) << error;
    run = Shell("KELVARIN_COM1=" + path + " " KELVARIN_UPLOAD " --port 1 --timeout 1");
    close(master);
    close(keep);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("no complete upload from port 1 within 1 s"), std::string::npos)
        << run.err;
    EXPECT_TRUE(run.out.empty());

    // The tool drops the line in mid-upload: reported at once, not at the time-out.
    run = UploadWithTool("--records 10 --fault hang-up@4", "--timeout 60");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("ReadFile()"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the line to port 4 failed after 2 record(s)"), std::string::npos)
        << run.err;
    EXPECT_TRUE(run.out.empty());

    for (const char* bad : {"", "--port 0", "--port 13", "--port 1 --timeout x", "--port 1 --x"}) {
        run = Shell(std::string(KELVARIN_UPLOAD " ") + bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_FALSE(run.err.empty()) << bad;
    }
}

}  // namespace
