#!/usr/bin/env bash
# Runs a Windows program under Wine with COM1 leading to the simulated
# torque tool's pty, then checks what reached the tool: nothing but whole
# upload requests and acknowledgements, counted as WIRE ("requests:acks", a
# pattern: "2:*" leaves the acknowledgements uncounted). SIM_PORT=N leads
# COMN to the tool instead, and COM1 nowhere.
#
#   run_with_sim.sh TORQUE_SIM SHIM.so "TOOL OPTIONS" WIRE PROGRAM.exe [ARGS...]
set -uo pipefail
sim=$1 shim=$2 tool=$3 wire=$4
shift 4
root=$(cd "$(dirname "$0")/../.." && pwd)
link=$("$root/scripts/wine-env" com1-link)
# Wine looks a port up in the prefix's dosdevices at each opening.
[ "${SIM_PORT:-1}" = 1 ] || { rm -f "$link"; link=${link%-com1}/dosdevices/com$SIM_PORT; }
work=$(mktemp -d) pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work" "$link"' EXIT
# No new session may take the pty as its controlling terminal: start it first.
"$root/scripts/wine-env" start || exit 1
# shellcheck disable=SC2086
"$sim" --pty --retransmit 0 --trace $tool >"$work/pty" 2>"$work/trace" </dev/null &
pid=$!
for _ in $(seq 100); do [ -s "$work/pty" ] && break; sleep 0.05; done
pty=$(head -1 "$work/pty")
[ -c "$pty" ] && ln -sfn "$pty" "$link" || { echo "run_with_sim: torque-sim gave no pty" >&2; exit 1; }
LD_PRELOAD=$shim "$root/scripts/wine-run" "$@" || { tail -40 "$work/trace" >&2; exit 1; }

request='host -> tool: EB 00 55 F0 00 00 30' ack='host -> tool: EB 00 55 F5 00 00 35'
strays=$(grep '^host -> tool:' "$work/trace" | grep -vx -e "$request" -e "$ack")
got="$(grep -cx "$request" "$work/trace"):$(grep -cx "$ack" "$work/trace")"
# shellcheck disable=SC2053
[ -z "$strays" ] && [[ $got == $wire ]] && exit 0
{ echo "run_with_sim: requests:acknowledgements $got, expected $wire; the wire:"; cat "$work/trace"; } >&2
exit 1
