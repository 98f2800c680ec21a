#pragma once

// The command-line programs run as shipped, from bash.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A bash script, and how it ended.
struct Ending {
    std::string script;
    int status;
    std::string out, err;
};

// Runs a bash script, standard output and error kept apart. The script has
// $UP (kelvarin-upload), $HIST (kelvarin-history), $dir (a fresh folder with
// an empty folder out, and the history $KELVARIN_HISTORY in it) and
// start_tool OPTIONS, which starts torque-sim on a pty for one upload and
// points port 4 at it.
Ending Script(const std::string& body) {
    // A folder of its own: a process number repeats across PID namespaces.
    std::string base = ::testing::TempDir() + "kelvarin-upload-XXXXXX";
    base = mkdtemp(base.data()) + std::string("/run");
    std::ofstream(base + ".sh") << "set -o pipefail; UP=" KELVARIN_UPLOAD
                                   "; SIM=" KELVARIN_TORQUE_SIM "; HIST=" KELVARIN_HISTORY_PROGRAM
                                   R"(
dir=$(mktemp -d); tool=''; mkdir $dir/out
export KELVARIN_HISTORY=$dir/history.sqlite3 XDG_DATA_HOME=$dir/data
trap 'kill $tool 2>/dev/null; wait 2>/dev/null; umount $dir/out $dir/full 2>/dev/null; rm -rf $dir' EXIT
start_tool() {
  local path=$(mktemp)
  $SIM --pty --once "$@" >$path 2>/dev/null &
  tool=$!
  for i in $(seq 100); do [ -s $path ] && break; sleep 0.05; done
  export KELVARIN_COM4=$(head -1 $path); rm -f $path
}
# Root ignores permission bits: what depends on them runs as nobody.
as_user() {
  [ $(id -u) = 0 ] || { "$@"; return; }
  chmod 755 $dir; setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
}
)" << body << "\n";
    const int status =
        std::system(("bash " + base + ".sh >" + base + ".out 2>" + base + ".err").c_str());
    const auto read = [&](const char* suffix) {
        std::ifstream in(base + suffix);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    Ending run{body, WIFEXITED(status) ? WEXITSTATUS(status) : -1, read(".out"), read(".err")};
    std::filesystem::remove_all(base.substr(0, base.rfind('/')));
    return run;
}

// Whether the parts of `pattern` between "…" appear in `text` in order, the
// first at its start when `anchored`.
[[maybe_unused]] bool Matches(const std::string& text, const std::string& pattern, bool anchored) {
    std::size_t at = 0, from = 0;
    for (bool first = true;; first = false) {
        const std::size_t gap = pattern.find("…", from);
        const std::string part = pattern.substr(from, gap - from);
        const std::size_t found = text.find(part, at);
        if (found == std::string::npos || (first && anchored && found != 0)) return false;
        at = found + part.size();
        if (gap == std::string::npos) return true;
        from = gap + std::string("…").size();
    }
}

// Runs each case's script after `prefix`: its status, its standard output
// matching `out` from the start and its standard error matching `err` (both
// with "…" for what may differ). A script that ends with 77 could not be
// tried here (no tmpfs, no FUSE) and says why on standard output.
[[maybe_unused]] void ExpectEndings(const std::vector<Ending>& cases,
                                    const std::string& prefix = "") {
    for (const Ending& c : cases) {
        SCOPED_TRACE(c.script);
        const Ending run = Script(prefix + c.script);
        if (run.status == 77) {
            if (!run.out.empty()) std::printf("skipped: %s", run.out.c_str());
            continue;
        }
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(Matches(run.out, c.out, true)) << run.out;
        EXPECT_TRUE(Matches(run.err, c.err, false)) << run.err;
    }
}

}  // namespace
