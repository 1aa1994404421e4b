#!/usr/bin/env bash
# Makes the pictures of docs/tuning.md with kinevra-host plot, into OUT; with
# a third argument, compares each with the committed one there and fails on
# any difference. From the repository:
#   docs/img/make-figures.sh build/linux/bin/kinevra-host docs/img
#   make-figures.sh HOST OUT [COMMITTED]
set -u
host=$1 out=$2 committed=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
failures=0
figure() {
  local name=$1
  shift
  local said
  if ! said=$("$host" plot "$@" -o "$out/$name.svg" 2>&1); then
    echo "$name: kinevra-host plot failed:"; echo "$said"; failures=$((failures + 1)); return
  fi
  echo "$said"
  if [ -n "$committed" ] && ! cmp -s "$out/$name.svg" "$committed/$name.svg"; then
    echo "$name.svg differs from the committed picture (make it again: docs/img/make-figures.sh HOST docs/img)"
    failures=$((failures + 1))
  fi
}
figure smoothing 'VALUE' 'EMALP(VALUE;25)' 'EMALP(VALUE;100)' --input step --seconds 2
figure washout 'EMAHP(VALUE;100)' 'EMAHP(VALUE;500)' 'EMALP(EMAHP(VALUE;250);15)' --input step --seconds 6
figure limits 'GAIN(VALUE;3)' 'CROP(GAIN(VALUE;3);-1;1)' 'LOGISTIC(GAIN(VALUE;3);1;1)' --input ramp --seconds 2
figure drive 'VALUE' 'EMALP(VALUE;25)' 'EMAHP(EMALP(VALUE;10);500)' --input "$here/drive.csv:longitu_accel"
[ $failures -eq 0 ] && echo "tuning figures: all made${committed:+ and equal to the committed ones}"
[ $failures -eq 0 ]
