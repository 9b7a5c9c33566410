#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks what an installer gets from it:
# the files and their places, the computed dependencies, the menu entry, the programs starting,
# and that `cmake --install` lays out the same files.
# Usage: tst_package.sh BUILD_DIR VERSION
set -uo pipefail
build=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check DESCRIPTION COMMAND...: one line per check, the command's output only when it fails.
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

expected_files="./usr/bin/karvel-reader-sim
./usr/bin/karvel-utility
./usr/share/applications/karvel-utility.desktop
./usr/share/icons/hicolor/scalable/apps/karvel-utility.svg"

check "cpack builds the package" cpack --config "$build/CPackConfig.cmake" -B "$work/pkg"
deb=$(ls "$work"/pkg/karvel-utility_"$version"*.deb 2>/dev/null | head -1)
if [ -z "$deb" ]; then
    echo "FAIL: no karvel-utility_${version}*.deb in $work/pkg"
    exit 1
fi
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" >"$work/contents"
check "the package holds exactly the programs, the desktop entry and the icon" \
    diff <(echo "$expected_files") <(grep -v '/$' "$work/contents" | awk '{print $NF}' | sort)
check "both programs are executable" \
    test "$(grep -c '^-rwxr-xr-x .* ./usr/bin/karvel-' "$work/contents")" = 2

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
check "Depends was computed from the programs (Qt widgets, serial port, network)" \
    bash -c '[[ $0 == *libqt6widgets6* && $0 == *libqt6serialport6* && $0 == *libqt6network6* ]]' \
    "$depends"

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/karvel-utility.desktop
check "desktop-file-validate accepts the desktop entry" desktop-file-validate "$desktop"
check "the desktop entry starts the installed program" \
    test -x "$root/usr/bin/$(sed -n 's/^Exec=//p' "$desktop")"
check "the desktop entry names the installed icon" \
    test -f "$root/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$desktop").svg"

export QT_QPA_PLATFORM=offscreen HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
check "karvel-utility --version prints its name and version" \
    test "$("$root/usr/bin/karvel-utility" --version)" = "KARVEL Utility $version"
check "karvel-reader-sim --version prints its name and version" \
    test "$("$root/usr/bin/karvel-reader-sim" --version)" = "karvel-reader-sim $version"
# A program that fails to load Qt or its platform plugin exits at once; a sound one keeps running.
check "karvel-utility starts and keeps running" \
    bash -c 'timeout 3 "$0"; test $? = 124' "$root/usr/bin/karvel-utility"

check "cmake --install succeeds" cmake --install "$build" --prefix "$work/install/usr"
check "cmake --install puts the same files in the same places" \
    diff <(echo "$expected_files") <(cd "$work/install" && find . -type f | sort)

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
