#!/usr/bin/env bash
# Runs a Windows test program under Wine with a COM port of the prefix mapped
# to a pseudo-terminal whose other end records every byte that arrives into a
# file: the fan controller of the wind tests, which a Windows program cannot
# make itself. The program learns the port and the file from
# KINEVRA_TEST_WIND_PORT ("COMn") and KINEVRA_TEST_WIND_BYTES (a Windows path).
#   wine_fan_port.sh N PROGRAM [ARGS...]
set -u
n=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
prefix=${KINEVRA_WINEPREFIX:?KINEVRA_WINEPREFIX names the prefix}
work=$(mktemp -d)
link="$prefix/dosdevices/com$n"
recorder=

cleanup() {
  [ -n "$recorder" ] && kill "$recorder" 2>/dev/null && wait "$recorder" 2>/dev/null
  rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT

# The recorder holds both ends (the pair lives while it runs), keeps the line
# raw as a serial port's is, and appends what arrives to the file at once.
python3 - "$work" <<'PY' &
import os, pty, select, sys, tty
work = sys.argv[1]
master, slave = pty.openpty()
tty.setraw(slave)
with open(os.path.join(work, "pty.tmp"), "w") as f:
    f.write(os.ttyname(slave))
os.rename(os.path.join(work, "pty.tmp"), os.path.join(work, "pty"))
with open(os.path.join(work, "fan.bytes"), "ab", buffering=0) as out:
    while True:
        ready, _, _ = select.select([master], [], [], 1.0)
        if ready:
            out.write(os.read(master, 4096))
PY
recorder=$!

for _ in $(seq 1 200); do [ -s "$work/pty" ] && break; sleep 0.05; done
[ -s "$work/pty" ] || { echo "the recorder made no pseudo-terminal"; exit 1; }
mkdir -p "$prefix/dosdevices"
ln -sfn "$(cat "$work/pty")" "$link"

export KINEVRA_TEST_WIND_PORT="COM$n"
export KINEVRA_TEST_WIND_BYTES="Z:$(printf '%s' "$work/fan.bytes" | tr / '\\')"
"$here/../../cmake/wine-run.sh" "$@"
rc=$?
cleanup
trap - EXIT
exit $rc
