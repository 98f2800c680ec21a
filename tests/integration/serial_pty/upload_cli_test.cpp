#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
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

// Runs a bash script, standard output and error kept apart. The script has
// $UP (kelvarin-upload), $dir (a fresh folder) and start_tool OPTIONS, which
// starts torque-sim on a pty for one upload and points port 4 at it.
Outcome Script(const std::string& body) {
    const std::string base = ::testing::TempDir() + "kelvarin-upload-" + std::to_string(getpid());
    const std::string scriptFile = base + ".sh", errFile = base + ".err";
    std::ofstream(scriptFile)
        << "UP=" KELVARIN_UPLOAD
           "\n"
           "dir=$(mktemp -d); tool=''\n"
           "trap 'kill $tool 2>/dev/null; wait 2>/dev/null; rm -rf $dir' EXIT\n"
           "start_tool() {\n"
           "  local path=$(mktemp)\n"
           "  " KELVARIN_TORQUE_SIM
           " --pty --once \"$@\" >$path 2>/dev/null &\n"
           "  tool=$!\n"
           "  for i in $(seq 100); do [ -s $path ] && break; sleep 0.05; done\n"
           "  export KELVARIN_COM4=$(head -1 $path); rm -f $path\n"
           "}\n"
        << body << "\n";
    Outcome run;
    FILE* pipe = popen(("bash " + scriptFile + " 2>" + errFile).c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    std::remove(errFile.c_str());
    std::remove(scriptFile.c_str());
    return run;
}

Outcome Shell(const std::string& command) {
    return Script(command);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Reads a result file back with Python's own readers and prints its rows
// tab-separated, so that every format can be held against the text table.
constexpr const char* kReadBack = R"(python3 - "$@" <<'PY'
import csv, io, json, sys
path, kind = sys.argv[1:3]
data = open(path, encoding="utf-8", newline="").read()
if kind == "json":
    d = json.loads(data)
    print("fields", d["full_range"], d["data_length"])
    for r in d["records"]:
        assert r["value"] == (None if r["data"] == "null" else float(r["data"])), r
        print("\t".join([r["id"], r["data"], r["unit"], r["pass"]]))
    u, s = d["summary"]["units"][0], d["summary"]
    print("summary", u["unit"], u["count"], u["passed"], u["failed"], u["outside"], s["no_value"])
elif kind == "csv":
    assert data.endswith("\r\n") and "\n" not in data.replace("\r\n", ""), "CRLF rows"
    for row in csv.reader(io.StringIO(data, newline="")):
        assert len(row) == 4, row
        print("\t".join(row))
else:
    sys.stdout.write(data)
PY
)";

TEST(UploadCli, EachFormatHoldsTheSameTableOfTheKnownMemory) {
    std::vector<std::string> textRows;
    for (const std::string format : {"text", "csv", "json"}) {
        SCOPED_TRACE(format);
        const Outcome run = Script("read_back() {\n" + std::string(kReadBack) +
                                   "\n}\nstart_tool --fast --records 12\n"
                                   "$UP --port 4 --format " +
                                   format +
                                   " --summary --limits 10:14 --output $dir/result || exit\n"
                                   "read_back $dir/result " +
                                   format);
        ASSERT_EQ(run.status, 0) << run.err;
        const auto lines = Lines(run.out);
        if (format == "text") {
            ASSERT_EQ(lines.size(), 2u + 13u + 1u + 8u) << run.out;
            EXPECT_EQ(lines[0], "Full Range: 20");
            EXPECT_EQ(lines[1], "Data Length: 12");
            textRows.assign(lines.begin() + 2, lines.begin() + 15);
            EXPECT_EQ(textRows[6], "6\tnull\tN.m\tpassed");
            EXPECT_EQ(lines[17].rfind("N.m\t7\t6\t1\t10.535000\t", 0), 0u) << lines[17];
            EXPECT_EQ(lines[22], "Without a value: 1");
            EXPECT_TRUE(run.err.empty()) << run.err;
        } else if (format == "csv") {
            EXPECT_EQ(lines, textRows);
            // What is not a row goes to standard error.
            EXPECT_EQ(run.err.rfind("Full Range: 20\nData Length: 12\nUNIT\tCOUNT", 0), 0u)
                << run.err;
        } else {
            ASSERT_EQ(lines.size(), 1u + 12u + 1u) << run.out << run.err;
            EXPECT_EQ(lines[0], "fields 20 12");
            EXPECT_TRUE(std::equal(lines.begin() + 1, lines.end() - 1, textRows.begin() + 1));
            EXPECT_EQ(lines.back(), "summary N.m 7 6 1 1 1");
        }
    }
}

TEST(UploadCli, OutputFileIsCompleteOrLeftAsItWas) {
    struct Case {
        const char* name;
        const char* tool;
        const char* signal;  // sent to the uploader half way, if any
        bool existing;
        int status;
    };
    const Case cases[] = {
        {"SIGTERM", "--records 100", "TERM", false, 130},
        {"SIGTERM", "--records 100", "TERM", true, 130},
        {"SIGKILL", "--records 100", "KILL", false, 128 + 9},
        {"SIGKILL", "--records 100", "KILL", true, 128 + 9},
        {"hang-up", "--fast --records 10 --fault hang-up@4", "", false, 1},
        {"hang-up", "--fast --records 10 --fault hang-up@4", "", true, 1},
        {"complete", "--fast --records 3", "", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.existing ? ", existing file" : ", no file"));
        const std::string signal = c.signal;
        const Outcome run =
            Script(std::string("mkdir $dir/out\n") + (c.existing ? "echo old >$dir/out/r\n" : "") +
                   "start_tool " + c.tool +
                   "\n$UP --port 4 --timeout 20 --force --output $dir/out/r & up=$!\n" +
                   (signal.empty() ? "" : "sleep 0.5; kill -" + signal + " $up\n") +
                   "wait $up; status=$?\nls -A $dir/out; cat $dir/out/r 2>/dev/null; exit $status");
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.status == 0)
            EXPECT_EQ(run.out.rfind("r\nFull Range: 20\nData Length: 3\n", 0), 0u) << run.out;
        else
            EXPECT_EQ(run.out, c.existing ? "r\nold\n" : "") << "no temporary file, FILE as it was";
    }

    // A full disk, on a small file system of its own where we may mount one.
    Outcome run = Script(
        "mkdir $dir/full; mount -t tmpfs -o size=4k tmpfs $dir/full 2>/dev/null || exit 77\n"
        "echo old >$dir/full/r; head -c 8192 /dev/zero >$dir/full/filler 2>/dev/null\n"
        "start_tool --fast --records 100\n$UP --port 4 --force --output $dir/full/r; status=$?\n"
        "ls -A $dir/full; cat $dir/full/r; umount $dir/full; exit $status");
    if (run.status != 77) {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "filler\nr\nold\n");
        EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
    }

    // Without --force an existing file stops the program before the port opens.
    run = Shell(
        "echo old >$dir/r; KELVARIN_COM4=/nonexistent $UP --port 4 --output $dir/r; status=$?\n"
        "cat $dir/r; exit $status");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "old\n");
    EXPECT_NE(run.err.find("/r exists (--force replaces it)"), std::string::npos) << run.err;
}

TEST(UploadCli, TraceOfANoisyUploadShowsTheDroppedBytes) {
    const Outcome run = Script(
        "start_tool --fast --records 6 --retransmit 100 --fault stray-bytes@2 "
        "--fault bad-check@3 --fault unknown-command@5\n$UP --port 4 --trace");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).size(), 2u + 7u);
    const std::regex line(
        " +[0-9]+ ms  (host -> tool|tool -> host) ( [0-9A-F]{2})+(  dropped: .*)?");
    for (const std::string& text : Lines(run.err))
        EXPECT_TRUE(std::regex_match(text, line)) << text;
    for (const char* why : {"noise before a header", "bad check byte", "unknown command"})
        EXPECT_NE(run.err.find(std::string("  dropped: ") + why), std::string::npos) << why;
    EXPECT_NE(run.err.find("host -> tool  EB 00 55 F0 00 00 30\n"), std::string::npos);
}

TEST(UploadCli, ListsWhatEachPortOpens) {
    Outcome run = Shell("KELVARIN_COM3=/dev/null $UP --list-ports");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\n   3  * /dev/null (KELVARIN_COM3)\n"), std::string::npos) << run.out;
    run = Shell("for n in $(seq 12); do unset KELVARIN_COM$n; done; $UP --list-ports");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).size(), 13u) << run.out;
    EXPECT_EQ(run.out.find("(KELVARIN_COM"), std::string::npos) << run.out;
}

TEST(UploadCli, FailuresEndNonZeroWithAMessageAndNoTable) {
    // No device behind the port.
    Outcome run = Shell("KELVARIN_COM2=/nonexistent/tty $UP --port 2");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot open port 2"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());

    // A line on which nobody answers.
    std::string path, error;
    int keep = -1;
    const int master = torque_sim::OpenPseudoTerminal(path, keep, error);
    ASSERT_GE(master, 0) << error;
    run = Shell("KELVARIN_COM1=" + path + " $UP --port 1 --timeout 1");
    close(master);
    close(keep);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no complete upload from port 1 within 1 s"), std::string::npos)
        << run.err;
    EXPECT_TRUE(run.out.empty());

    // The tool drops the line in mid-upload: reported at once, not at the time-out.
    run = Script("start_tool --fast --records 10 --fault hang-up@4\n$UP --port 4 --timeout 60");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("ReadFile()"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the line to port 4 failed after 2 record(s)"), std::string::npos)
        << run.err;
    EXPECT_TRUE(run.out.empty());

    if (getuid() != 0) {  // root opens anything
        run = Shell("touch $dir/tty; chmod 000 $dir/tty; KELVARIN_COM1=$dir/tty $UP --port 1");
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("Permission denied (serial ports belong to the group dialout"),
                  std::string::npos)
            << run.err;
    }

    for (const char* bad : {"", "--port 0", "--port 13", "--port 1 --timeout x", "--port 1 --x",
                            "--port 1 --format xml", "--port 1 --limits 5:1", "--port 1 --force",
                            "--port 1 --output $dir"}) {
        run = Shell(std::string("KELVARIN_COM1=/nonexistent $UP ") + bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_FALSE(run.err.empty()) << bad;
    }
    run = Shell("$UP --version");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(std::regex_match(run.out, std::regex("kelvarin-upload [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << run.out;
}

}  // namespace
