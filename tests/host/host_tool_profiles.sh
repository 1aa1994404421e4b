#!/usr/bin/env bash
# kinevra-host with rig profiles, as a user runs it: a malformed profile or a
# filter text the library refuses is reported with file, line and problem,
# and the tool exits non-zero without starting the rig; the shipped profiles
# pass --check.
#   host_tool_profiles.sh EMULATOR TOOL PROFILES_DIR   (EMULATOR may be "")
set -u
emulator=$1 tool=$2 profiles=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

run() {
  if [ -n "$emulator" ]; then "$emulator" "$tool" "$@"; else "$tool" "$@"; fi
}

# expect NAME RC [+TEXT | -TEXT]... -- ARGS...: the exit code, and texts the
# output must (+) or must not (-) hold.
expect() {
  local name=$1 rc=$2
  shift 2
  local checks=()
  while [ "$1" != -- ]; do checks+=("$1"); shift; done
  shift
  local out got
  out=$(run "$@" 2>&1)
  got=$?
  local ok=1
  [ "$got" -eq "$rc" ] || { echo "$name: exit code $got, expected $rc"; ok=0; }
  for c in "${checks[@]}"; do
    case $c in
      +*) grep -qF -- "${c:1}" <<<"$out" || { echo "$name: missing: ${c:1}"; ok=0; } ;;
      -*) grep -qF -- "${c:1}" <<<"$out" && { echo "$name: unexpected: ${c:1}"; ok=0; } ;;
    esac
  done
  if [ $ok -eq 0 ]; then
    echo "--- output of $name:"; echo "$out"; echo "---"
    failures=$((failures + 1))
  fi
}

cat >"$dir/bad.profile" <<'EOF'
[rig]
axes = roll pitch
surgee = 3
[input_limits]
roll = -1 one
[air]
roll = GAIN(VALUE;2)
EOF
expect malformed 2 \
  "+bad.profile:3: unknown key 'surgee' in [rig]" \
  "+bad.profile:5: 'roll' takes two numbers: low high" \
  "+2 errors; the rig was not started" \
  "-engine stopped" -- --profile "$dir/bad.profile" --seconds 1 --plain

printf '[air]\r\nsway = VALUE\r\nsurge = GAIN(VALUE;1e3)   # an exponent\r\n' >"$dir/filter.profile"
expect refused-filter 2 \
  "+filter.profile:3: [air] surge (channel 1): the library refuses the filter text 'GAIN(VALUE;1e3)'" \
  "+the rig was not started" \
  "-engine stopped" -- --profile "$dir/filter.profile" --seconds 1 --plain

expect missing-file 2 "+nowhere.profile: cannot read the file" -- --profile "$dir/nowhere.profile" --check

expect bad-option 2 "+--controller: the controller port is 'auto', 'none' or a port such as COM5, not 'tty0'" \
  -- --controller tty0 --check

for p in "$profiles"/*.profile; do
  expect "check $(basename "$p")" 0 "+the library takes every setting" "-warning" -- --check --profile "$p"
done

[ $failures -eq 0 ] && echo "host tool profiles: all passed"
exit $failures
