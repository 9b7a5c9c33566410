#!/usr/bin/env bash
# Builds the Windows zip from a built tree and runs it as a Windows user would: unpacked into
# an empty folder and started from there under Wine, with no path to Qt or the compiler set.
# Usage: tst_windows_package.sh BUILD_DIR VERSION WINE_RUN WINE_PREFIX QT_BIN PROFILE
# (WINE_RUN WINE_PREFIX QT_BIN: how CTest runs the test programs; QT_BIN goes unused.)
set -uo pipefail
build=$(cd "$1" && pwd)
version=$2
wine_run=$3
prefix=$4
profile=$6
work=$(mktemp -d)
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
failures=0

check() {
    local what=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        echo "PASS: $what"
    else
        echo "FAIL: $what"
        sed 's/^/    /' "$work/out"
        failures=$((failures + 1))
    fi
}
# Runs a program of the unpacked folder under Wine, with no path to any DLL or plugin.
windows=(env -u QT_PLUGIN_PATH -u QT_QPA_PLATFORM -u QT_QPA_FONTDIR "$wine_run" "$prefix" "")

name=karvel-utility-$version-windows-x64
check "cpack builds the zip" cpack --config "$build/CPackConfig.cmake" -B "$work/pkg"
zip=$work/pkg/$name.zip
if [ ! -f "$zip" ]; then
    echo "FAIL: no $name.zip in $work/pkg"
    exit 1
fi
mkdir "$work/user"
unzip -q "$zip" -d "$work/user"
folder=$work/user/$name
check "the zip holds the programs, Qt, the compiler runtime and the plugins" \
    diff <(printf '%s\n' Qt6Core.dll Qt6Gui.dll Qt6Network.dll Qt6SerialPort.dll Qt6Widgets.dll \
        karvel-reader-sim.exe karvel-utility.com karvel-utility.exe libgcc_s_seh-1.dll \
        libstdc++-6.dll libwinpthread-1.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll) \
    <(cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)

# Run as started, and as typed in cmd.exe in the folder, where karvel-utility.com comes first
# and waits for the windowed program.
check "karvel-utility.exe --version prints the version" \
    bash -c '[ "$("$@" | tr -d "\r")" = "KARVEL Utility '"$version"'" ]' _ "${windows[@]}" \
    "$folder/karvel-utility.exe" --version
check "karvel-utility --version typed in cmd.exe prints the version" \
    bash -c 'cd "$1" && shift && [ "$("$@" | tr -d "\r")" = "KARVEL Utility '"$version"'" ]' _ \
    "$folder" "${windows[@]}" cmd /c karvel-utility --version
check "karvel-utility typed in cmd.exe ends with the utility's exit status" \
    bash -c 'cd "$1" && shift && "$@"; [ $? -eq 2 ]' _ "$folder" "${windows[@]}" cmd /c \
    karvel-utility --identify

"${windows[@]}" "$folder/karvel-reader-sim.exe" --quiet --tcp-port 0 >"$work/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.out")
    [ -n "$port" ] && break
    sleep 0.1
done
check "karvel-reader-sim.exe listens" test -n "$port"
cp "$profile" "$work/site.json"
check "karvel-utility.exe --program programs the simulated reader" \
    bash -c 'out=$("$@" | tr -d "\r") && [[ $out == *"[1/1] 127.0.0.1:'"$port"' programmed ("* ]] &&
             [[ $out == *"1 of 1 reader(s) programmed"* ]] || { echo "$out"; exit 1; }' _ "${windows[@]}" \
    "$folder/karvel-utility.exe" --program "$work/site.json" --reader "127.0.0.1:$port"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
