#!/usr/bin/env bash
# The Debian package in dist/: lintian, installed with apt, used as a user
# would, purged; nothing of it may be left. Needs root and an X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
deb=$(ls "$root"/dist/kelvarin_*_amd64.deb)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "deb: $*" >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive

# Search paths other than the module's one to the office (overridden) are
# errors to lintian, the build tree's included.
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings"
apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install failed"; }
for f in /usr/bin/kelvarin* /usr/lib/kelvarin/*.so; do
    ! strings "$f" | grep -qF "$root" || fail "$f names the build tree"
done
# With the office installed, the module finds all its libraries.
[ ! -d /usr/lib/libreoffice/program ] || ! ldd /usr/lib/kelvarin/*.so | grep 'not found' ||
    fail "the spreadsheet module misses libraries"
MANPAGER=cat man kelvarin-upload 2>/dev/null | grep -q -- '--port' || fail "man kelvarin-upload"
MANPAGER=cat man kelvarin-history 2>/dev/null | grep -q -- '--since' || fail "man kelvarin-history"

# A full upload from the packaged simulator with the packaged uploader.
kelvarin-torque-sim --pty --fast --once >"$work/sim" 2>/dev/null &
for _ in $(seq 100); do [ -s "$work/sim" ] && break; sleep 0.05; done
export KELVARIN_HISTORY=$work/history.sqlite3
KELVARIN_COM1=$(head -1 "$work/sim") timeout 60 kelvarin-upload --port 1 --job J1 >"$work/upload" ||
    fail "kelvarin-upload failed"
# ... kept in the history, which the packaged kelvarin-history reads.
kelvarin-history show 1 >"$work/shown" && cmp -s "$work/upload" "$work/shown" &&
    kelvarin-history list --job J1 --format csv | grep -q '^1,' || fail "the upload was not kept"
grep -q '^Data Length: 12$' "$work/upload" && [ "$(grep -c $'^[0-9]*\t' "$work/upload")" -eq 12 ] ||
    { cat "$work/upload"; fail "the upload did not give 12 records"; }

kelvarin >"$work/window.log" 2>&1 &
timeout 20 xdotool search --sync --onlyvisible --name '^Kelvarin$' >/dev/null ||
    { cat "$work/window.log"; fail "the window did not appear"; }
kill $!

dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./|/|p' | grep -v '/$' >"$work/files"
apt-get purge -y -qq kelvarin >/dev/null 2>&1 || fail "apt-get purge failed"
left=$(while read -r f; do if [ -e "$f" ] || [ -L "$f" ]; then echo "$f"; fi; done <"$work/files")
[ -z "$left" ] && [ ! -e /usr/lib/kelvarin ] && [ ! -e /usr/share/doc/kelvarin ] ||
    fail "left after purge: $left"
echo "deb: lintian clean, installed, upload, window, manual page, purged without a trace"
