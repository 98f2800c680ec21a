#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "cli_script.h"

namespace {

// The three formats of the same upload, read back with Python's own readers:
// CSV (RFC 4180) and JSON must hold the text table's rows and summary, and
// only CSV has a side text, which is the rest of the text output.
TEST(UploadCli, EachFormatHoldsTheKnownMemory) {
    const Ending run = Script(R"(for f in text csv json; do
  start_tool --fast --records 12
  $UP --port 4 --format $f --summary --limits 10:14 --output $dir/$f 2>>$dir/side || exit
done
python3 - $dir <<'PY'
import csv, io, json, sys
read = lambda name: open(sys.argv[1] + "/" + name, encoding="utf-8", newline="").read()
text, data = read("text").split("\n"), read("csv")
assert text[:2] == ["Full Range: 20", "Data Length: 12"], text
assert text[22:] == ["Without a value: 1", "Limits: 10.000000 to 14.000000", ""], text
rows = [line.split("\t") for line in text[2:15]]
assert rows[6] == ["6", "null", "N.m", "passed"], rows
na = "not available"
assert text[18].split("\t") == ["kgf.cm", "1", "1", "0", "125.800003", na, "125.800003", "125.800003",
                              "0.000000", "1", na, na], text[18]
assert read("side") == "\n".join(text[:2] + text[16:]), read("side")
assert list(csv.reader(io.StringIO(data, newline=""))) == rows, data
d = json.loads(read("json"))
assert (d["full_range"], d["data_length"]) == (20, 12), d
assert [[r["id"], r["data"], r["unit"], r["pass"]] for r in d["records"]] == rows[1:], d
assert [r["value"] for r in d["records"]] == [None if r[1] == "null" else float(r[1]) for r in rows[1:]]
s, fig = d["summary"], lambda v: na if v is None else "%.6f" % v if type(v) is float else str(v)
assert [[fig(v) for v in u.values()] for u in s["units"]] == [l.split("\t") for l in text[17:22]], s
assert (s["no_value"], s["limits"]) == (1, {"lower": 10, "upper": 14}), s
PY)");
    EXPECT_EQ(run.status, 0) << run.err;
}

// Every way a run can end: its status, its message (a part of standard
// error), and the output file complete or as it was, with no temporary file
// beside it, only a kept upload (standard output, then `ls -A` and the first
// lines of FILE).
TEST(UploadCli, EachEndHasItsStatusMessageAndFile) {
    // Into $dir/out/r, holding "old" when `existing`.
    const auto upload = [](bool existing, const std::string& tool, const std::string& then) {
        return std::string(existing ? "echo old >$dir/out/r; " : "") + "start_tool " + tool +
               "\n$UP --port 4 --force --output $dir/out/r " + then;
    };
    const std::string kill = "& up=$!; sleep 0.5; kill -", old = "r\nold\n";
    std::vector<Ending> cases = {
        {upload(true, "--fast --records 3", ""), 0, "r\nFull Range: 20\nData Length: 3\n", ""},
        {"mount -t tmpfs -o size=4k tmpfs $dir/out 2>/dev/null || exit 77\n"
         "echo old >$dir/out/r; head -c 8192 /dev/zero >$dir/out/filler 2>/dev/null; " +
             upload(false, "--fast --records 100", ""),
         1, "filler\n" + old, "No space left on device"},
        {"echo old >$dir/out/r; KELVARIN_COM4=/nonexistent $UP --port 4 --output $dir/out/r", 2,
         old, "/r exists (--force replaces it)"},
        {"KELVARIN_COM2=/nonexistent/tty $UP --port 2 --limits -3.5:-1", 1, "",
         "cannot open port 2"},
        {"touch $dir/tty; chmod 000 $dir/tty; KELVARIN_COM1=$dir/tty as_user $UP --port 1", 1, "",
         "Permission denied (serial ports belong to the group dialout"},
        {"chmod 555 $dir/out; KELVARIN_COM4=/nonexistent as_user $UP --port 4 --output $dir/out/r",
         2, "", "cannot write in"},
        // Decided before the port opens: what --force would turn into a
        // plain file, and a link to nothing, which would be in the way later.
        {"mkfifo $dir/out/r; KELVARIN_COM4=/nonexistent $UP --port 4 --force --output $dir/out/r\n"
         "s=$?; [ -p $dir/out/r ] && rm $dir/out/r && echo fifo; (exit $s)",
         2, "fifo\n", "/r is not a regular file"},
        {"KELVARIN_COM4=/nonexistent $UP --port 4 --force --output /dev/null", 2, "",
         "/dev/null is not a regular file"},
        {"ln -s $dir/none $dir/out/r; KELVARIN_COM4=/nonexistent $UP --port 4 --output $dir/out/r",
         2, "r\n", "/r is a symbolic link to nothing"},
        // A file that appeared meanwhile stays, and the upload is kept.
        {"start_tool --records 40\n$UP --port 4 --output $dir/out/r --trace 2>$dir/e & up=$!\n"
         "for i in $(seq 200); do grep -q 'tool -> host' $dir/e && break; sleep 0.05; done\n"
         "echo old >$dir/out/r; wait $up; s=$?; cat $dir/e >&2\n"
         "head -1 $dir/out/r.kelvarin-upload-*; (exit $s)",
         2, "Full Range: 20\nr\nr.kelvarin-upload-N\nold\n",
         "appeared during the upload; left as it is\nkelvarin-upload: the upload is kept in"},
        // A USB stick: no hard links, no O_TMPFILE, no renameat2 flags.
        {"{ [ -e /dev/fuse ] && command -v fusefat && command -v mkfs.vfat; } >/dev/null &&\n"
         "truncate -s 1M $dir/fat && mkfs.vfat $dir/fat >/dev/null && fusefat -o rw+ $dir/fat "
         "$dir/out || { echo 'no /dev/fuse, fusefat or mkfs.vfat: not tried on FAT'; exit 77; }\n"
         "start_tool --fast --records 3; $UP --port 4 --output $dir/out/r",
         0, "r\nFull Range: 20\nData Length: 3\n", ""},
        {"KELVARIN_COM3=/no/tty $UP --list-ports | grep -F '(KELVARIN'", 0,
         "   3    /no/tty (KELVARIN_COM3)\n", ""},
        // Looked up at the open and for its failure: the bad line is told once.
        {"mkdir -p $dir/c/kelvarin; printf 'COM5 = /no/tty5\\nCOM13=/x\\n' "
         ">$dir/c/kelvarin/ports.conf\n"
         "XDG_CONFIG_HOME=$dir/c $UP --port 5 2>&1 | sed \"s|$dir|D|\"",
         1,
         "kelvarin-upload: D/c/kelvarin/ports.conf:2: port numbers are 1 to 12; line ignored\n"
         "kelvarin-upload: cannot open port 5 (/no/tty5): No such file or directory\n",
         ""},
        {"start_tool --fast --records 3\nTMPDIR=/nonexistent $UP --port 4 --format xlsx --output "
         "$dir/out/r",
         1, "", "cannot make a temporary folder: "},
        {"$UP --list-ports >/dev/full", 1, "", "cannot write to standard output: No space"},
        {"$UP --version >/dev/full", 1, "", "cannot write to standard output: No space"},
        {"start_tool --fast --records 3\n$UP --port 4 >/dev/full", 1, "",
         "cannot write to standard output"},
        // The trace of a noisy upload: the request, and the bytes dropped.
        {"start_tool --fast --records 6 --retransmit 100 --fault stray-bytes@2 --fault bad-check@3 "
         "--fault unknown-command@5 --fault short-payload@6\n"
         "$UP --port 4 --trace 2>&1 >/dev/null | "
         "grep -oE 'host -> tool  EB 00 55 F0 00 00 30$|dropped: [a-z ]+' | sort -u",
         0,
         "dropped: bad check byte\ndropped: noise before a header\n"
         "dropped: payload too short for its command\ndropped: unknown command\n"
         "host -> tool  EB 00 55 F0 00 00 30\n",
         ""},
        // The worker cannot wait on its events (four descriptors, three allowed)
        // once the upload is under way: the upload ends as a failed line. Not
        // under a sanitizer, whose checks need descriptors of their own.
        {"ldd $UP | grep libasan >/dev/null && exit 77\n" +
             upload(false, "--records 100",
                    "--timeout 2 --trace 2>$dir/e & up=$!\n"
                    "for i in $(seq 100); do grep -q 'tool -> host' $dir/e && break; sleep 0.05; "
                    "done\n"
                    "prlimit --pid $up --nofile=3; wait $up; s=$?; cat $dir/e >&2\n"
                    "grep -q 'line to port 4 failed' $dir/e || s=9; (exit $s)"),
         1, "", "kelvarin-upload: kelvarin-upload: 接收有问题!"},
        {"$UP --version | sed -E 's/[0-9]+\\.[0-9]+\\.[0-9]+$/X.Y.Z/'", 0,
         "kelvarin-upload X.Y.Z\n", ""},
    };
    // Each with and without a file in the way (tool, then, status, message).
    const std::tuple<const char*, std::string, int, const char*> ends[] = {
        {"--records 100", kill + "TERM $up; wait $up", 130, "interrupted after"},
        {"--records 100", kill + "KILL $up; wait $up", 137, ""},
        {"--fast --records 10 --fault hang-up@4", "--timeout 20", 1,
         "the line to port 4 failed after 2 record(s); no file written"},
        {"--records 255", "--timeout 1", 1, "no complete upload from port 4 within 1 s"}};
    for (bool existing : {false, true})
        for (const auto& [tool, then, status, err] : ends)
            cases.push_back({upload(existing, tool, then), status, existing ? old : "", err});
    for (const char* bad : {"", "--port 13", "--port 1 --timeout x", "--port 1 --timeout 0",
                            "--port 1 --x", "--port 1 --format xml", "--port 1 --force",
                            "--port 1 --output $dir/out", "--port 1 --output $UP/r"})
        cases.push_back(
            {std::string("KELVARIN_COM1=/nonexistent $UP ") + bad, 2, "", "kelvarin-upload: "});

    cases.push_back({"$UP --port 0", 2, "", "--port takes a number from 1 to 12"});
    cases.push_back({"$UP --help | grep -c -- --port", 0, "2\n", ""});
    for (const char* limits : {"14:10", "5:5", "10", ":14", "10:", "a:b", "1:nan", "1:inf"})
        cases.push_back({std::string("KELVARIN_COM1=/nonexistent $UP --port 1 --limits ") + limits,
                         2, "", "kelvarin-upload: --limits takes LOWER:UPPER"});

    for (const Ending& c : cases) {
        SCOPED_TRACE(c.script);
        const Ending run = Script(c.script +
                                  "\nstatus=$?; ls -A $dir/out | sed s/upload-.*/upload-N/; "
                                  "head -2 $dir/out/r 2>/dev/null; exit $status");
        if (run.status == 77) {  // no tmpfs to fill, no FUSE
            if (!run.out.empty()) std::printf("skipped: %s", run.out.c_str());
            continue;
        }
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

}  // namespace
