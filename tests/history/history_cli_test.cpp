#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_script.h"

namespace {

// What kelvarin-upload keeps, kelvarin-history gives back as the uploader
// printed it: the same JSON under "upload", the same text, the same summary,
// and tags with quotes, newlines and Chinese exactly.
TEST(HistoryCli, WhatTheUploaderKeepsComesBackAsItPrinted) {
    const Ending run = Script(R"sh(set -e
# The same device each time, whichever pty the tool gets.
tool12() { start_tool --fast --records 12; ln -sfn $KELVARIN_COM4 $dir/tty; KELVARIN_COM4=$dir/tty; }
tool12; $UP --port 4 --format json --limits 10:14 --tool "q'\"t" --operator $'张三\n2' >$dir/up.json
tool12; $UP --port 4 --no-history >/dev/null
tool12; $UP --port 4 --summary --job j >$dir/up.txt
$HIST tag 2 --tool T2 --job J2
$HIST show 1 --format json --limits 10:14 >$dir/show.json
$HIST show 2 --summary >$dir/show.txt
$HIST list --format json >$dir/list.json
$HIST stats --format json --limits 10:14 >$dir/stats.json
$HIST stats --all --format csv --unit N.m --tool T2 >$dir/stats.csv
$HIST backup $dir/copy.sqlite3; $HIST --db $dir/copy.sqlite3 list --format json >$dir/copy.json
$HIST list --since 2000-01-01 --until "$(date -u +%F)" --port 4 --last 1 >$dir/last.txt
$HIST status | grep -cx -e 'Schema version: 1' -e 'Uploads: 2 (1 plain re-uploads)' \
    -e 'Readings: 24' -e 'Last failure to record: none' | grep -qx 4
set +e
python3 - $dir <<'PY'
import csv, json, sys
read = lambda name: open(sys.argv[1] + "/" + name, encoding="utf-8", newline="").read()
up, show = json.loads(read("up.json")), json.loads(read("show.json"))
u = show.pop("upload")
assert (u["tool"], u["operator"], u["job"], u["id"]) == ("q'\"t", "张三\n2", None, 1), u
assert show == up, show
assert read("show.txt") == read("up.txt")
l = json.loads(read("list.json"))
assert [list(x) for x in l] == [list(u)] * 2, l
assert [(x["repeat_of"], x["tool"], x["job"], x["records"], x["source"]) for x in l] == [
    (None, "q'\"t", None, 12, "kelvarin-upload"), (1, "T2", "J2", 12, "kelvarin-upload")], l
assert l[0]["finished"].endswith("Z") and l[0]["last_ack_written"] is True, l
assert json.loads(read("stats.json")) == up["summary"]
rows = list(csv.reader(open(sys.argv[1] + "/stats.csv", newline="")))
assert rows[0][:3] == ["UNIT", "COUNT", "PASSED"] and [r[:2] for r in rows[1:]] == [["N.m", "7"]], rows
assert json.loads(read("copy.json")) == l
last = read("last.txt").split("\n")
assert len(last) == 3 and last[1].startswith("2\t"), last
PY)sh");
    EXPECT_EQ(run.status, 0) << run.err;
}

// Each way keeping or reading can fail: one clear line, the upload's own
// output and status as without a history, the history file untouched.
TEST(HistoryCli, FailuresAreOneLineAndChangeNothingElse) {
    // An upload into $dir/out/r with the history at $1, which then must
    // hold what it held before.
    const auto kept = [](const std::string& prepare, const std::string& as = "",
                         const std::string& then = ":") {
        return prepare +
               "\ncp -p $KELVARIN_HISTORY $dir/before 2>/dev/null || :\n"
               "start_tool --fast --records 3; chmod 666 $KELVARIN_COM4\n" +
               as + " $UP --port 4 --output $dir/out/r; s=$?\n" +
               "[ ! -e $dir/before ] || cmp $dir/before $KELVARIN_HISTORY || s=9\n"
               "head -1 $dir/out/r; " +
               then + "; exit $s";
    };
    const std::string newer =
        "python3 -c 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); "
        "c.execute(\"PRAGMA user_version=9\"); c.commit()' $KELVARIN_HISTORY";
    const std::vector<Ending> cases = {
        {kept("head -c 5000 /dev/urandom >$KELVARIN_HISTORY"), 0, "Full Range: 20\n",
         "kelvarin-upload: the upload is not in the history: /…/history.sqlite3: file is not a "
         "database\n"},
        {kept("start_tool --fast --records 2; $UP --port 4 >/dev/null; " + newer), 0,
         "Full Range: 20\n",
         "written by a newer Kelvarin (history version 9; this one reads up to 1)"},
        {kept("mkdir $dir/ro $dir/xdg; chmod 555 $dir/ro; chmod 777 $dir/xdg $dir/out\n"
              "export KELVARIN_HISTORY=$dir/ro/h XDG_DATA_HOME=$dir/xdg XDG_CONFIG_HOME=$dir",
              "as_user", "as_user $HIST status | tail -1"),
         0,
         "Full Range: 20\nLast failure to record: 20…Z the upload is not in the history: /…/ro/h: ",
         "/ro/h: unable to open database file"},
        {kept(
             "mkdir $dir/full; mount -t tmpfs -o size=256k tmpfs $dir/full 2>/dev/null || exit 77\n"
             "export KELVARIN_HISTORY=$dir/full/h; start_tool --fast --records 2\n"
             "$UP --port 4 >/dev/null; head -c 1000000 /dev/zero >$dir/full/filler 2>/dev/null",
             ""),
         0, "Full Range: 20\n", "the upload is not in the history: /…/full/h: "},
        {"$HIST show 7", 1, "", "no history there (nothing has been recorded in it)"},
        {"$HIST status", 0,
         "History: /…/history.sqlite3\nUploads: 0 (nothing recorded yet)\nLast failure to record: "
         "none\n",
         ""},
        {"start_tool --fast --records 2; $UP --port 4 >/dev/null; $HIST show 7", 2, "",
         "no upload 7 in"},
        {"start_tool --fast --records 2; $UP --port 4 >/dev/null; $HIST tag 7 --job x", 2, "",
         "no upload 7"},
        {"touch $dir/o; $HIST list --output $dir/o", 2, "", "exists (--force replaces it)"},
        {"touch $dir/o; $HIST backup $dir/o", 2, "", "exists (--force replaces it)"},
        {"start_tool --fast --records 2; $UP --port 4 >/dev/null\n"
         "TMPDIR=/nonexistent $HIST backup $dir/b; s=$?; ls $dir/b 2>/dev/null; exit $s",
         1, "", "cannot make a temporary folder: "},
        {"$UP --port 4 --tool $'\\xff'", 2, "", "--tool takes a name in UTF-8"},
        {"$HIST list --since 2026-02-30", 2, "", "--since takes an ISO 8601 date"},
        {"$HIST list --all", 2, "", "--all does not go with list"},
        {"$HIST show", 2, "", "show needs an upload id"},
        {"$HIST tag 1", 2, "", "tag needs --tool, --operator or --job"},
        {"$HIST frob", 2, "", "unknown command frob"},
        {"$HIST list --tool", 2, "", "--tool needs a value"},
        {"$HIST list --db $dir/none", 1, "", "/none: no history there"},
        // Without a variable, the user's data folder, made when needed.
        {"start_tool --fast --records 2; unset KELVARIN_HISTORY\n"
         "XDG_DATA_HOME=$dir/x $UP --port 4 >/dev/null && ls $dir/x/kelvarin",
         0, "history.sqlite3\n", ""},
        {"KELVARIN_HISTORY=off $HIST list", 1, "", "no history: KELVARIN_HISTORY=off"},
    };
    ExpectEndings(cases);
}

}  // namespace
