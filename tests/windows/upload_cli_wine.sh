#!/usr/bin/env bash
# kelvarin-upload.exe under Wine: JSON with the summary into a file, the file
# refused without --force, CSV with the side text apart, the port listing.
#
#   upload_cli_wine.sh TORQUE_SIM SHIM.so KELVARIN-UPLOAD.EXE
set -uo pipefail
sim=$1 shim=$2 exe=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "upload_cli_wine: $*" >&2; exit 1; }
# RECORDS ARGS...: one request, and an acknowledgement for full range, data
# length, each record and the end frame.
with_tool() { "${0%/*}/run_with_sim.sh" "$sim" "$shim" "--records $1 --once" "1:$(($1 + 3))" "$exe" "${@:2}"; }
file='Z:'${work//\//\\}'\r.json'

with_tool 12 --port 1 --timeout 30 --format json --summary --limits 10:14 \
    --output "$file" >/dev/null || fail "JSON upload into $file"
[ "$(ls -A "$work")" = r.json ] || fail "left behind: $(ls -A "$work")"
python3 -c 'import json, sys; d = json.load(open(sys.argv[1], encoding="utf-8"))
assert (len(d["records"]), d["summary"]["units"][0]["outside"]) == (12, 1), d' "$work/r.json" ||
    fail "JSON read back"

"${0%/*}/../../scripts/wine-run" "$exe" --port 1 --output "$file" 2>"$work/err"
[ $? -eq 2 ] && grep -q 'exists (--force replaces it)' "$work/err" || fail "no refusal: $(cat "$work/err")"

with_tool 3 --port 1 --timeout 30 --csv >"$work/csv" 2>"$work/side" || fail "CSV upload"
[ "$(head -2 "$work/csv")" = $'ID,DATA,UNIT,PASS\r\n1,12.340000,N.m,passed\r' ] &&
    [ "$(wc -l <"$work/csv")" -eq 4 ] || fail "CSV: $(cat "$work/csv")"
grep -q '^Full Range: 20' "$work/side" || fail "side text: $(cat "$work/side")"

"${0%/*}/../../scripts/wine-run" "$exe" --list-ports >"$work/ports" || fail "--list-ports"
grep -q '^   1  \* COM1 ' "$work/ports" && grep -q '^  12    COM12 (not present)$' "$work/ports" ||
    fail "listing: $(cat "$work/ports")"
