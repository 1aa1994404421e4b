#!/usr/bin/env bash
# Compares a built library's export table, letter for letter, with the list of
# the library's exports; for the DLL also checks that it imports from Windows
# system DLLs only.
set -euo pipefail
target=$1 lib=$2 list=$3
expected=$(grep -v '^#' "$list" | sed '/^$/d' | LC_ALL=C sort)

if [ "$target" = windows ]; then
  dump=$(x86_64-w64-mingw32-objdump -p "$lib")
  actual=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{sub(/^[^]]*\][ \t]*/,"");print;next} {t=0}' | LC_ALL=C sort)
  imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
  # The DLLs every Windows x64 system has; nothing of the compiler's runtime.
  allowed='^(kernel32|user32|advapi32|shell32|ws2_32|winmm|setupapi|iphlpapi|msvcrt|ole32|shlwapi|api-ms-win-.*)\.dll$'
  bad=$(printf '%s\n' "$imports" | grep -Ev "$allowed" || true)
  if [ -n "$bad" ]; then
    echo "kinevra.dll imports from non-system DLLs:"; echo "$bad"; exit 1
  fi
  echo "imports: $(echo $imports)"
else
  actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVv]$/ {print $3}' | sed 's/@.*//' | LC_ALL=C sort)
fi

if [ "$expected" != "$actual" ]; then
  echo "export table of $lib differs from $list:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports: $(echo "$actual" | wc -l) as listed"
