#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing.
#   scripts/deps.sh native   compilers and libraries for the Linux build
#   scripts/deps.sh all      also clang (fuzzers), MinGW-w64 and Wine
set -euo pipefail
what=${1:-all}
native=(cmake ninja-build g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
        binutils procps python3 iproute2)
extra=(clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
       mono-mcs mono-runtime)
pkgs=("${native[@]}")
[ "$what" = all ] && pkgs+=("${extra[@]}")

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
