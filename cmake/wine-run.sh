#!/usr/bin/env bash
# Runs a Windows program under Wine with the prefix of the build tree it belongs to.
# KINEVRA_WINEPREFIX names the prefix; ctest sets it through the test environment,
# otherwise the prefix beside the program's build tree is used.
set -u
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
if [ -z "${KINEVRA_WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  KINEVRA_WINEPREFIX="$dir/wineprefix"
fi
export WINEPREFIX="$KINEVRA_WINEPREFIX"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A new prefix links the user's Documents (and other shell folders) to the Unix
# home folder. The library writes its log under Documents, and a test run must
# keep that inside the build tree: the link becomes a folder of the prefix.
own_documents() {
  local d
  for d in "$WINEPREFIX"/drive_c/users/*/Documents; do
    if [ -L "$d" ]; then rm -f "$d" && mkdir -p "$d"; fi
  done
}
own_documents
# Wine may leave service processes of the prefix running after the program
# ends; they must not inherit the caller's output pipes (ctest would wait for
# them). So the program's output goes through a file.
if [ -n "${KINEVRA_WINE_DIRECT:-}" ]; then exec "$wine" "$@"; fi
out=$(mktemp)
"$wine" "$@" </dev/null >"$out" 2>&1
rc=$?
own_documents
cat "$out"
rm -f "$out"
exit $rc
