#!/usr/bin/env bash
# Sets up, builds the phone's own program (build-arm/vorn.exe), then builds
# and runs every test under Wine: once for 64-bit x86 and once more for
# 32-bit x86, the phone's word size. Extra arguments go to ctest;
# VORN_ARCHS picks the builds, from "arm x86_64 i686" ("x86_64" runs the
# 64-bit one only, whose tests check the phone's image, building it). On a machine
# whose kernel runs no 32-bit x86 program, the 32-bit build is built but its
# tests are not run, and its line says so. A build whose tests ran but
# matched none of ctest's filter says so too; the run fails when that filter
# matched no test in any build. A VORN_BUILD set by the caller is the folder
# of one build: VORN_ARCHS must then choose that one.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/builds.sh
archs=$(vorn_chosen_builds)
bash scripts/setup.sh

# One build and its tests, in a shell of its own so that each has its own
# prefix, display and clean-up, in the folder VORN_BUILD that vorn_run_build
# gives it. Leaves CTest's JUnit report there as junit.xml. A caller's
# prefix that may not be used stops it before the build. (It runs on the
# left of "||", where "set -e" does not hold: hence the explicit checks.)
test_build() {
  (
    export VORN_ARCH=$1
    shift
    . scripts/env.sh || exit 1
    trap vorn_cleanup EXIT
    vorn_check_prefix || exit 1
    vorn_build || { echo "$VORN_ARCH: the build failed" >&2; exit 1; }
    vorn_start_display || exit 1
    vorn_start_wine || exit 1
    cd "$VORN_BUILD" || exit 1
    ctest --output-on-failure --timeout 600 --output-junit junit.xml "$@"
  )
}

# Only the build: the phone's program (arm), or a build on a machine that
# cannot run its tests.
build_only() {
  if [ "$1" = arm ]; then
    bash scripts/phone-build.sh
    return
  fi
  (
    export VORN_ARCH=$1
    . scripts/env.sh || exit 1
    vorn_build
  )
}

for arch in $archs; do
  echo "== $arch build =="
  vorn_run_build "$arch" "$(vorn_build_folder "$arch")" test_build build_only "$@"
done

echo
vorn_closing_block "${vorn_records[@]}"
