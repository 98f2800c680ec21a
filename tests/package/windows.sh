#!/usr/bin/env bash
# The Windows installer and zip in dist/, under Wine in a fresh prefix of
# their own: silent install (twice: one entry), shortcuts and uninstall entry,
# an upload with the installed kelvarin-upload.exe from the simulated tool on
# COM1, found by the installed kelvarin-history.exe, install and uninstall
# refused while Kelvarin runs, then a silent uninstall that leaves nothing;
# the zip's programs run; the installer's script secures a folder outside
# Program Files and checks every program it installs for running. Needs an X
# display.
#
#   windows.sh TORQUE_SIM MODEM_LINES_SHIM
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -nE 's/^project\(Kelvarin VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
setup=$root/dist/kelvarin-$version-setup.exe
export KELVARIN_WINEPREFIX=$root/build/package-wine/prefix
export WINEPREFIX=$KELVARIN_WINEPREFIX WINEDEBUG=-all
# No menu entries on the host for the shortcuts the installer makes.
export WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe='
inst=$WINEPREFIX/drive_c/Program\ Files/Kelvarin
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Kelvarin
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
work=$(mktemp -d)
trap '"$root/scripts/wine-env" stop; rm -rf "$work"' EXIT
fail() { echo "windows package: $*" >&2; exit 1; }
w() { wine "$@" </dev/null 2>/dev/null; }
started() { timeout 30 xdotool search --sync --onlyvisible --name '^Kelvarin$' >/dev/null; }

# Wine has neither ACLs nor elevation: no run here can show what the installer
# does to a folder outside Program Files, so its script is read instead. The
# folder's permissions are set before the first file goes in, and the finish
# page offers no "Run Kelvarin" (it would run with the installer's rights).
# Every program it installs is one it waits for while it runs.
nsi=$root/packaging/windows/kelvarin.nsi
! sed '/nsExec::.*icacls/q' "$nsi" | grep -q '^ *File ' && ! grep -q MUI_FINISHPAGE_RUN "$nsi" ||
    fail "the installer writes files before it sets their folder's permissions, or runs Kelvarin"
[ "$(sed -n 's/^ *File "${STAGE}\\\(.*\.exe\)"$/\1/p' "$nsi")" = "$(sed -n 's/^ *!insertmacro MarkIfRunning //p' "$nsi")" ] ||
    fail "the programs installed and those checked for running differ"

"$root/scripts/wine-env" fresh
"$root/scripts/wine-env" start

for _ in 1 2; do w "$setup" /S >/dev/null || fail "silent install failed"; done
[ "$(w reg query "$key" | grep -ci kelvarin)" -eq 1 ] || fail "two installs, not one entry"
for f in Kelvarin.lnk "Kelvarin command line.lnk"; do [ -f "$menu/$f" ] || fail "no shortcut $f"; done
[ "$(w reg query "$key\\Kelvarin" | grep -cE " (DisplayName|Publisher) .*Kelvarin| \
DisplayVersion .*$version| DisplayIcon .*kelvarin.exe| EstimatedSize .*0x| UninstallString .*uninstall.exe")" -eq 6 ] ||
    fail "the uninstall entry lacks a value"

# The upload is kept in a history of this test's own.
export KELVARIN_HISTORY='Z:'${work//\//\\}'\h.sqlite3'
"$root/tests/windows/run_with_sim.sh" "$(realpath "$1")" "$(realpath "$2")" "" "1:15" \
    "$inst/kelvarin-upload.exe" --port 1 >"$work/upload" && [ "$(wc -l <"$work/upload")" -eq 15 ] ||
    fail "no upload with the installed program"
w "$inst/kelvarin-history.exe" status | grep -qx 'Uploads: 1 (0 plain re-uploads)' || fail "not kept"

# With Kelvarin running, the installer and the uninstaller (run in place, so
# that it can be waited for) refuse and change nothing.
wine "$inst/kelvarin.exe" </dev/null >/dev/null 2>&1 &
started || fail "kelvarin.exe did not start"
! w "$setup" /S || fail "installed over a running Kelvarin"
! w cmd /c 'C:\Program Files\Kelvarin\uninstall.exe' /S '_?=C:\Program' 'Files\Kelvarin' ||
    fail "uninstalled while Kelvarin was running"
[ -f "$inst/kelvarin.exe" ] && [ -f "$menu/Kelvarin.lnk" ] || fail "half uninstalled while running"
w taskkill /F /IM kelvarin.exe >/dev/null || true
sleep 1

# The uninstaller copies itself away and returns at once: wait for its work.
w "$inst/uninstall.exe" /S || fail "silent uninstall failed"
for _ in $(seq 120); do [ -e "$inst" ] || break; sleep 0.5; done
[ ! -e "$inst" ] && [ ! -e "$menu" ] || fail "left after uninstall: $(ls "$inst" "$menu" 2>&1)"
! w reg query "$key\\Kelvarin" >/dev/null && ! w reg query 'HKLM\Software\Kelvarin' >/dev/null ||
    fail "registry entries left"

unzip -q "$root/dist/kelvarin-$version-windows-x64.zip" -d "$work"
for exe in kelvarin-upload kelvarin-history; do
    w "$work/kelvarin-$version/$exe.exe" --help | grep -q "^usage: $exe" || fail "the zip's $exe.exe does not run"
done
wine "$work/kelvarin-$version/kelvarin.exe" </dev/null >/dev/null 2>&1 &
started || fail "the zip's kelvarin.exe did not start"
w taskkill /F /IM kelvarin.exe >/dev/null || true
echo "windows package: folder secured first, installed twice as one, upload kept, refused while running, uninstalled without a trace; zip runs"
