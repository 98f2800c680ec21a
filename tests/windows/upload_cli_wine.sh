#!/usr/bin/env bash
# kelvarin-upload.exe under Wine: JSON with the summary into a file, the file
# refused without --force, names in a root folder and relative to a drive,
# a read-only folder refused, an upload that cannot replace its file kept,
# CSV with the side text apart beside a history that is not one, the port
# listing; then the history with kelvarin-history.exe: tags in Chinese and
# quotes, arguments and results in UTF-8; workbooks from both.
#
#   upload_cli_wine.sh TORQUE_SIM SHIM.so KELVARIN-UPLOAD.EXE KELVARIN-HISTORY.EXE
set -uo pipefail
sim=$1 shim=$2 exe=$3 history=$4 here=$(cd "${0%/*}" && pwd)
work=$(mktemp -d) hist=$(mktemp -d)
eval "$("$here/../../scripts/wine-env" print)"
# Drive K: of this test's own is its folder "k".
drive=$WINEPREFIX/dosdevices/k:
trap 'chattr -i "$work/locked" 2>/dev/null; rm -f "$drive"; chmod -R u+w "$work"; rm -rf "$work" "$hist"' EXIT
# Every upload is kept in a history of this test's own, in a folder named in
# Chinese. Wine reads the command line in the locale's encoding.
mkdir "$hist/历史" && export LC_ALL=C.UTF-8 KELVARIN_HISTORY='Z:'${hist//\//\\}'\历史\h.sqlite3'
fail() { echo "upload_cli_wine: $*" >&2; exit 1; }
# RECORDS ARGS...: one request, and an acknowledgement for full range, data
# length, each record and the end frame.
with_tool() { "$here/run_with_sim.sh" "$sim" "$shim" "--records $1 --once" "1:$(($1 + 3))" "$exe" "${@:2}"; }
file='Z:'${work//\//\\}'\r.json'

with_tool 12 --port 1 --timeout 30 --format json --summary --limits 10:14 \
    --output "$file" >/dev/null || fail "JSON upload into $file"
[ "$(ls -A "$work")" = r.json ] || fail "left behind: $(ls -A "$work")"
python3 -c 'import json, sys; d = json.load(open(sys.argv[1], encoding="utf-8"))
assert (len(d["records"]), d["summary"]["units"][0]["outside"]) == (12, 1), d' "$work/r.json" ||
    fail "JSON read back"

"$here/../../scripts/wine-run" "$exe" --port 1 --output "$file" 2>"$work/err"
[ $? -eq 2 ] && grep -q 'exists (--force replaces it)' "$work/err" || fail "no refusal: $(cat "$work/err")"

# "\r.csv" from K:\sub is K:\r.csv (replaced here); "K:d.csv" is in drive
# K's current folder, K:\, even when the current folder, on another drive,
# cannot be written in. So can a folder not be: refused before the port
# opens (COM1 leads nowhere now).
mkdir -p "$work/k/sub" "$work/locked" && ln -sfn "$work/k" "$drive" && printf old >"$work/k/r.csv"
chmod a-w "$work/locked" && chattr +i "$work/locked" 2>/dev/null
touch "$work/locked/x" 2>/dev/null && echo "upload_cli_wine: no read-only folder can be made here; not tested" >&2
(cd "$work/k/sub" && with_tool 3 --port 1 --timeout 30 --csv --force --output '\r.csv' &&
    cd "$work/locked" && with_tool 3 --port 1 --timeout 30 --csv --output 'K:d.csv') >/dev/null ||
    fail "\\r.csv, K:d.csv"
[ "$(LC_ALL=C ls -A "$work/k" "$work/k/sub" | tr '\n' ' ')" = "$work/k: d.csv r.csv sub  $work/k/sub: " ] &&
    [ "$(head -1 "$work/k/r.csv")" = $'ID,DATA,UNIT,PASS\r' ] && cmp -s "$work/k/r.csv" "$work/k/d.csv" ||
    fail "root and drive-relative: $(ls -AR "$work/k")"
if [ ! -e "$work/locked/x" ]; then
    "$here/../../scripts/wine-run" "$exe" --port 1 --output "${file%r.json}locked\r.csv" 2>"$work/err"
    [ $? -eq 2 ] && grep -q '^kelvarin-upload: cannot write in .*\\locked' "$work/err" ||
        fail "read-only folder: $(cat "$work/err")"
fi

# A read-only FILE: the upload is kept beside it and named. The next run
# into that folder leaves it, but removes a killed run's temporary file.
printf old >"$work/k/ro.csv" && chmod a-w "$work/k/ro.csv"
with_tool 3 --port 1 --timeout 30 --csv --force --output 'K:\ro.csv' >/dev/null 2>"$work/err"
[ $? -eq 1 ] || fail "read-only file replaced: $(cat "$work/err")"
kept=$(sed -n 's/^kelvarin-upload: the upload is kept in K:\\\(ro\.csv\.kelvarin-upload-[0-9-]*\)\r*$/\1/p' "$work/err")
[ -n "$kept" ] && cmp -s "$work/k/$kept" "$work/k/r.csv" && [ "$(cat "$work/k/ro.csv")" = old ] ||
    fail "not kept: $(cat "$work/err"); $(ls -A "$work/k")"
chmod u+w "$work/k/ro.csv" && touch "$work/k/.ro.csv.kelvarin-upload-1-1.tmp"
with_tool 3 --port 1 --timeout 30 --csv --force --output 'K:\ro.csv' >/dev/null || fail "ro.csv"
[ "$(LC_ALL=C ls -A "$work/k" | tr '\n' ' ')" = "d.csv r.csv ro.csv $kept sub " ] || fail "left: $(ls -A "$work/k")"

# Into a history that is not one: the same output and status, one line more,
# and the file left as it was.
printf 'not a history %.0s' {1..300} >"$hist/junk" && cp "$hist/junk" "$work/junk"
with_tool 3 --port 1 --timeout 30 --csv --db 'Z:'${hist//\//\\}'\junk' >"$work/csv" 2>"$work/side" ||
    fail "CSV upload"
[ "$(head -2 "$work/csv")" = $'ID,DATA,UNIT,PASS\r\n1,12.340000,N.m,passed\r' ] &&
    [ "$(wc -l <"$work/csv")" -eq 4 ] || fail "CSV: $(cat "$work/csv")"
grep -q '^Full Range: 20' "$work/side" && [ "$(grep -c '^kelvarin-upload:' "$work/side")" = 1 ] &&
    grep -q 'not in the history: .*junk: file is not a database' "$work/side" &&
    cmp -s "$hist/junk" "$work/junk" || fail "side text: $(cat "$work/side")"

"$here/../../scripts/wine-run" "$exe" --list-ports >"$work/ports" || fail "--list-ports"
grep -q '^   1  \* COM1 ' "$work/ports" && grep -q '^  12    COM12 (not present)$' "$work/ports" ||
    fail "listing: $(cat "$work/ports")"

# The history: tags with quotes, a line break and Chinese come back exactly,
# the upload is shown as kelvarin-upload printed it, the status reads it.
kh() { "$here/../../scripts/wine-run" "$history" "$@"; }
tags=('T "7"' '张伟' $'A\n"B"')
with_tool 3 --port 1 --timeout 30 --tool "${tags[0]}" --operator "${tags[1]}" --job "${tags[2]}" \
    >"$work/printed" && id=$(kh list --last 1 --format json | python3 -c 'import json, sys
u = json.load(sys.stdin)[0]
assert [u[k] for k in ("tool", "operator", "job", "source")] == sys.argv[1:] + ["kelvarin-upload"], u
print(u["id"])' "${tags[@]}") || fail "tags read back"
kh show "$id" | cmp -s "$work/printed" - && kh status | grep -qx 'Schema version: 1' || fail "show, status"


# Workbooks from both programs: the cells, types and formats of the list as
# the same program prints it.
check=$here/../support/check_workbook.py
with_tool 12 --port 1 --timeout 30 --format xlsx --output 'Z:'${work//\//\\}'\r.xlsx' >/dev/null &&
    with_tool 12 --port 1 --timeout 30 --csv --no-history >"$work/list.csv" 2>/dev/null &&
    /usr/bin/python3 "$check" "$work/r.xlsx" "$work/list.csv" "Full Range=20" "Data Length=12" ||
    fail "kelvarin-upload.exe's workbook"
kh show "$id" --format xlsx --output 'Z:'${work//\//\\}'\h.xlsx' && kh show "$id" --format csv \
    >"$work/h.csv" 2>/dev/null && /usr/bin/python3 "$check" "$work/h.xlsx" "$work/h.csv" \
    "id=$id" "operator=${tags[1]}" || fail "kelvarin-history.exe's workbook"
