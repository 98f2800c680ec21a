#!/usr/bin/env bash
# Runs a Windows program under Wine with COM1 leading to the simulated
# torque tool's pty, then checks what the program put on the wire.
#
#   run_with_sim.sh --sim TORQUE_SIM --shim SHIM.so [--tool "OPTIONS"]
#       [--requests N] [--acks N] [--stdout-lines N] -- PROGRAM.exe [ARGS...]
#
# --requests/--acks: how many upload requests and acknowledgements the tool
# must have received; --stdout-lines: how many lines the program must print.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

sim="" shim="" tool="" requests="" acks="" lines=""
while [ $# -gt 0 ]; do
    case $1 in
    --sim) sim=$2; shift 2 ;;
    --shim) shim=$2; shift 2 ;;
    --tool) tool=$2; shift 2 ;;
    --requests) requests=$2; shift 2 ;;
    --acks) acks=$2; shift 2 ;;
    --stdout-lines) lines=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "run_with_sim: unknown option $1" >&2; exit 2 ;;
    esac
done
[ -x "$sim" ] || { echo "run_with_sim: no host torque-sim at '$sim' (build it for the host first)" >&2; exit 1; }
[ -f "$shim" ] || { echo "run_with_sim: no modem-line shim at '$shim'" >&2; exit 1; }

work=$(mktemp -d)
sim_pid=""
link=$("$root/scripts/wine-env" com1-link)
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -f "$link"
    rm -rf "$work"
}
trap cleanup EXIT

# No new session may take the pty as its controlling terminal: start it first.
"$root/scripts/wine-env" start || exit 1

# shellcheck disable=SC2086
"$sim" --pty --retransmit 0 --trace $tool >"$work/sim.out" 2>"$work/trace" </dev/null &
sim_pid=$!
for _ in $(seq 100); do
    [ -s "$work/sim.out" ] && break
    sleep 0.05
done
pty=$(head -1 "$work/sim.out")
[ -c "$pty" ] || { echo "run_with_sim: torque-sim gave no pty" >&2; cat "$work/trace" >&2; exit 1; }
ln -sfn "$pty" "$link"

LD_PRELOAD=$shim "$root/scripts/wine-run" "$@" >"$work/stdout" 2>"$work/stderr"
status=$?
cat "$work/stdout"
cat "$work/stderr" >&2
if [ "$status" -ne 0 ]; then
    echo "run_with_sim: program exited with $status; the wire:" >&2
    tail -40 "$work/trace" >&2
    exit 1
fi

fail=0
request='host -> tool: EB 00 55 F0 00 00 30'
ack='host -> tool: EB 00 55 F5 00 00 35'
strays=$(grep '^host -> tool:' "$work/trace" | grep -vx -e "$request" -e "$ack")
[ -z "$strays" ] || { echo "run_with_sim: unexpected bytes on the wire:" >&2; echo "$strays" >&2; fail=1; }
expect() {  # what wanted got
    [ -z "$2" ] || [ "$2" -eq "$3" ] || { echo "run_with_sim: $3 $1, expected $2" >&2; fail=1; }
}
expect "upload requests on the wire" "$requests" "$(grep -cx "$request" "$work/trace")"
expect "acknowledgements on the wire" "$acks" "$(grep -cx "$ack" "$work/trace")"
expect "output lines" "$lines" "$(wc -l <"$work/stdout")"
[ "$fail" -eq 0 ] || { echo "--- wire trace" >&2; cat "$work/trace" >&2; }
exit "$fail"
