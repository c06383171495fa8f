#!/usr/bin/env bash
# Sets up, then builds and runs every test under Wine: once for 64-bit x86
# and once more for 32-bit x86, the phone's word size. Extra arguments go to
# ctest; VORN_ARCHS="x86_64" (or "i686") runs one build only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# One build and its tests, in a shell of its own so that each has its own
# prefix, display and clean-up. Leaves CTest's JUnit report in the build.
# (It runs on the left of "||", where "set -e" does not hold: hence the
# explicit checks.)
test_build() {
  (
    export VORN_ARCH=$1
    shift
    . scripts/env.sh || exit 1
    trap vorn_cleanup EXIT
    rm -f "$VORN_BUILD/junit.xml"
    vorn_build || { echo "$VORN_ARCH: the build failed" >&2; exit 1; }
    vorn_start_display || exit 1
    vorn_start_wine || exit 1
    cd "$VORN_BUILD" || exit 1
    ctest --output-on-failure --timeout 600 --output-junit junit.xml "$@"
  )
}

# "PASSED FAILED SKIPPED" from a build's JUnit report. A test that did not
# run for any reason but its own skip counts as failed.
counts() {
  [ -f "$1" ] || return 1
  local tests failed skipped notrun
  tests=$(grep -c '<testcase ' "$1" || true)
  [ "$tests" -gt 0 ] || return 1
  failed=$(grep -c '<failure' "$1" || true)
  skipped=$(grep -c '<skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"' "$1" || true)
  notrun=$(grep -c '<skipped' "$1" || true)
  failed=$((failed + notrun - skipped))
  echo "$((tests - failed - skipped)) $failed $skipped"
}

archs=${VORN_ARCHS:-x86_64 i686}
summary=()
all_passed=0 all_failed=0 all_skipped=0 status=0
for arch in $archs; do
  echo "== $arch build =="
  build_status=0
  test_build "$arch" "$@" || build_status=$?
  [ "$arch" = x86_64 ] && dir=build || dir=build-$arch
  if read -r passed failed skipped < <(counts "$dir/junit.xml"); then
    all_passed=$((all_passed + passed))
    all_failed=$((all_failed + failed))
    all_skipped=$((all_skipped + skipped))
    line="$passed passed, $failed failed, $skipped skipped"
  else
    line="no test ran"
  fi
  if [ "$build_status" = 0 ]; then
    summary+=("$arch: PASS ($line)")
  else
    summary+=("$arch: FAIL ($line)")
    status=1
  fi
done

echo
printf '%s\n' "${summary[@]}"
[ "$status" = 0 ] && verdict=PASS || verdict=FAIL
echo "overall: $verdict"
echo "total: $all_passed passed, $all_failed failed, $all_skipped skipped"
exit "$status"
