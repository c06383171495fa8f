#!/usr/bin/env bash
# Builds the phone's own program, build-arm/vorn.exe (phone/CMakeLists.txt
# says how), and the CAB that installs it, build-arm/vorn.cab, one build at
# a time, and names the image and its size on its last line. The set-up (scripts/setup.sh) must have run.
#
#   bash scripts/phone-build.sh
#
# VORN_PHONE_BUILD names the build folder (default build-arm).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${VORN_PHONE_BUILD:-build-arm}
mkdir -p "$dir"
exec 7>"$dir/.build.lock"
if ! flock -n 7; then
  echo "phone-build: waiting for another run's build in $dir"
  flock 7
fi
toolchain=()
[ -f "$dir/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$PWD/phone/toolchain.cmake")
if ! cmake -S phone -B "$dir" "${toolchain[@]}" >"$dir/configure.log" 2>&1; then
  tail -n 20 "$dir/configure.log" >&2
  echo "phone-build: the phone build does not configure" >&2
  exit 1
fi
cmake --build "$dir" -j "$(nproc)" -- --no-print-directory
echo "$dir/vorn.exe: $(stat -c %s "$dir/vorn.exe") bytes; $dir/vorn.cab installs it"
