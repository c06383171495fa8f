#!/usr/bin/env bash
# Sets up, then builds and runs every test under Wine: once for 64-bit x86
# and once more for 32-bit x86, the phone's word size. Extra arguments go to
# ctest; VORN_ARCHS="x86_64" (or "i686") runs one build only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# One build and its tests, in a shell of its own so that each has its own
# prefix, display and clean-up. Leaves CTest's JUnit report in the build.
test_build() {
  (
    export VORN_ARCH=$1
    shift
    . scripts/env.sh
    trap vorn_cleanup EXIT
    rm -f "$VORN_BUILD/junit.xml"
    vorn_build
    vorn_start_display
    vorn_start_wine
    cd "$VORN_BUILD"
    ctest --output-on-failure --timeout 600 --output-junit junit.xml "$@"
  )
}

# "N passed, N failed, N skipped" from a build's JUnit report.
counts() {
  local head tests failures skipped
  head=$(sed -n '/<testsuite/,/>/p' "$1" 2>/dev/null | tr '\n\t' '  ')
  [ -n "$head" ] || return 1
  tests=$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$head")
  failures=$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$head")
  skipped=$(sed -n 's/.* skipped="\([0-9]*\)".*/\1/p' <<<"$head")
  echo "$((tests - failures - skipped)) $failures $skipped"
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
