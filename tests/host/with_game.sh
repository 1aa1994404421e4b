#!/usr/bin/env bash
# A host program against a game: gamesim publishes Assetto Corsa's pages (a
# scripted drive) while the host runs; the host's own checks decide (its exit
# code is the test's).
#   with_game.sh EMULATOR GAMESIM HOST [ARGS...]   (EMULATOR may be "": the
#   Windows programs, gamesim and a Windows host, run under it)
set -u
emulator=$1 gamesim=$2
shift 2
dir=$(mktemp -d)
game_pid=
cleanup() {
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null && wait "$game_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
run() { if [ -n "$emulator" ]; then "$emulator" "$@"; else "$@"; fi; }

# A Windows program sees this machine's folders on drive Z:. The game runs
# as a child of this script itself (under Wine: wine itself, not a script
# around it), so that ending it ends the game and with it its pages.
game=("$gamesim" --game ac --seconds 240 --ready "$dir/ready")
if [ -n "$emulator" ]; then
  game=(env KINEVRA_WINE_DIRECT=1 "$emulator" "$gamesim" --game ac --seconds 240 --ready "Z:$dir/ready")
fi
"${game[@]}" >"$dir/game.log" 2>&1 &
game_pid=$!
for _ in $(seq 1 600); do [ -f "$dir/ready" ] && break; sleep 0.1; done
[ -f "$dir/ready" ] || { echo "gamesim did not start"; cat "$dir/game.log"; exit 1; }
run "$@"
rc=$?
echo "$(basename "$1") exit code $rc"
exit $rc
