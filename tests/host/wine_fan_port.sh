#!/usr/bin/env bash
# Runs a Windows test program under Wine with a serial port COMn that is a
# pseudo-terminal, whose other end records every byte that arrives into a
# file: the fan controller of the wind tests, which a Windows program cannot
# make itself. The program learns the port and the file from
# KINEVRA_TEST_WIND_PORT ("COMn") and KINEVRA_TEST_WIND_BYTES (a Windows path).
#   wine_fan_port.sh N PROGRAM [ARGS...]
#
# Wine lists a port (QueryDosDeviceW) only when its mount manager made the
# port's device at start-up, from HKLM\Software\Wine\Ports. So the port lives
# in a prefix of its own (KINEVRA_FAN_WINEPREFIX), whose registry names a
# fixed path for COMn; that path is a link, pointed at each run's terminal.
set -u
n=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
prefix=${KINEVRA_FAN_WINEPREFIX:?KINEVRA_FAN_WINEPREFIX names the prefix of the fan port}
export WINEPREFIX="$prefix" KINEVRA_WINEPREFIX="$prefix" WINEDEBUG=-all
run="$here/../../cmake/wine-run.sh"
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
mkdir -p "$prefix"
fixed="$prefix/fan-tty"
work=$(mktemp -d)
recorder=

cleanup() {
  [ -n "$recorder" ] && kill "$recorder" 2>/dev/null && wait "$recorder" 2>/dev/null
  rm -rf "$work"
  # The prefix's own services end with its last program; wait for them.
  timeout 60 "$server" -w 2>/dev/null
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
ln -sfn "$(cat "$work/pty")" "$fixed"

# First use of the prefix (or a moved build tree): register the port, then let
# the prefix's services end, so that their next start makes the device.
if [ "$(readlink "$prefix/dosdevices/com$n" 2>/dev/null)" != "$fixed" ]; then
  "$run" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$fixed" /f >/dev/null
  timeout 120 "$server" -w 2>/dev/null
fi

export KINEVRA_TEST_WIND_PORT="COM$n"
export KINEVRA_TEST_WIND_BYTES="Z:$(printf '%s' "$work/fan.bytes" | tr / '\\')"
"$run" "$@"
rc=$?
cleanup
trap - EXIT
exit $rc
