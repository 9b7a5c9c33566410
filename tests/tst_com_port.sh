#!/usr/bin/env bash
# Starts the simulated reader program on a pseudo-terminal and runs tst_com_port against it
# over serial port 5: under Wine (WINE_RUN given) as COM5, a link in the prefix's device
# folder, elsewhere as the pseudo-terminal itself pinned to option 5.
# Usage: tst_com_port.sh READER_SIM TEST_PROGRAM [WINE_RUN WINE_PREFIX QT_BIN]
set -uo pipefail
sim=$1
test_program=$2
shift 2
if [ ! -x "$sim" ]; then
    echo "SKIP: no simulated reader program at $sim to serve the port (build the release preset)"
    exit 77
fi
work=$(mktemp -d)
sim_pid=
link=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; [ -n "$link" ] && rm -f "$link"; rm -rf "$work"' EXIT
"$sim" --quiet --tcp-port 0 --pty --drop-idle 1000 --record "$work/received" >"$work/sim.out" 2>&1 &
sim_pid=$!
pty=
for _ in $(seq 100); do
    pty=$(sed -n 's/^pseudo-terminal: //p' "$work/sim.out")
    [ -n "$pty" ] || ! kill -0 "$sim_pid" 2>/dev/null && break
    sleep 0.1
done
if [ -z "$pty" ]; then
    echo "FAIL: the simulated reader made no pseudo-terminal"
    cat "$work/sim.out"
    exit 1
fi
if [ $# -gt 0 ]; then
    link=$2/dosdevices/com5
    mkdir -p "$2/dosdevices"
    ln -sfn "$pty" "$link"
    KARVEL_READER_RECEIVED="Z:$work/received" "$@" "$test_program"
else
    KARVEL_READER_DEVICE=$pty KARVEL_READER_RECEIVED=$work/received "$test_program"
fi
