# Sourced by scripts/test.sh: whether this machine can run the 32-bit
# build's tests, and the closing block that judges the builds. Kept apart
# so that tests/scripts/builds_test.sh can drive both with stand-ins.

# Whether this machine runs 32-bit x86 programs, asked of the 32-bit Wine
# loader itself, by its path (VORN_WINE32_LOADER, for a stand-in). Prints
# what the loader gave when it did not run. Returns
#   0  it runs (also through an emulator registered with binfmt_misc);
#   1  the kernel refuses it: "Exec format error", status 126. The machine
#      runs no 32-bit x86 program;
#   2  any other failure (a missing package, a crash): a failure it stays.
vorn_loader32() {
  local loader=${VORN_WINE32_LOADER:-/usr/lib/wine/wine} out status
  out=$("$loader" --version </dev/null 2>&1)
  status=$?
  [ "$status" = 0 ] && return 0
  if [ "$status" = 126 ] && grep -q "Exec format error" <<<"$out"; then
    echo "$loader gave \"Exec format error\""
    return 1
  fi
  echo "$loader failed with status $status: $(head -n 1 <<<"$out")"
  return 2
}

# vorn_run_build ARCH JUNIT TEST BUILD [ARGS...]: one build's turn. Runs
# its tests with TEST ARCH ARGS... (which leaves its JUnit report in JUNIT),
# except for the 32-bit build on a machine that runs no 32-bit x86 program:
# that one is only built, with BUILD ARCH, so that a compile error still
# fails. Adds the build's record to vorn_records.
vorn_records=()
vorn_run_build() {
  local arch=$1 junit=$2 test=$3 build=$4 why loader_status=0 status=0
  shift 4
  if [ "$arch" = i686 ]; then
    why=$(vorn_loader32) || loader_status=$?
    case "$loader_status" in
      0) ;;
      1) echo "$why: this machine runs no 32-bit x86 program; building only"
         if "$build" "$arch"; then
           vorn_records+=("$arch|not run|built; this machine runs no 32-bit x86 program: $why")
         else
           vorn_records+=("$arch|failed|the build failed")
         fi
         return 0 ;;
      *) echo "the 32-bit Wine loader does not work: $why" >&2
         vorn_records+=("$arch|failed|$why")
         return 0 ;;
    esac
  fi
  "$test" "$arch" "$@" || status=$?
  vorn_records+=("$arch|ran $status|$junit")
}

# "PASSED FAILED SKIPPED" from a build's JUnit report. A test that did not
# run for any reason but its own skip counts as failed.
vorn_counts() {
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

# vorn_closing_block RECORD...: a line for each build, the overall verdict
# and the count of what ran; returns 0 when every build that ran passed and
# at least one ran. A record is ARCH|OUTCOME|DETAIL:
#   ARCH|ran N|JUNIT   its tests ran and ctest gave status N
#   ARCH|not run|WHY   built, its tests not run, and why
#   ARCH|failed|WHAT   it failed before its tests could run
vorn_closing_block() {
  local record arch outcome detail passed failed skipped line status=0 ran=0
  local all_passed=0 all_failed=0 all_skipped=0
  for record in "$@"; do
    IFS='|' read -r arch outcome detail <<<"$record"
    case "$outcome" in
      "ran "*)
        ran=$((ran + 1))
        if read -r passed failed skipped < <(vorn_counts "$detail"); then
          all_passed=$((all_passed + passed))
          all_failed=$((all_failed + failed))
          all_skipped=$((all_skipped + skipped))
          line="$passed passed, $failed failed, $skipped skipped"
        else
          line="no test ran"
        fi
        if [ "${outcome#ran }" = 0 ]; then
          echo "$arch: PASS ($line)"
        else
          echo "$arch: FAIL ($line)"
          status=1
        fi ;;
      "not run")
        echo "$arch: NOT RUN ($detail)" ;;
      *)
        echo "$arch: FAIL ($detail)"
        status=1 ;;
    esac
  done
  if [ "$ran" = 0 ]; then
    echo "no build ran its tests"
    status=1
  fi
  [ "$status" = 0 ] && echo "overall: PASS" || echo "overall: FAIL"
  echo "total: $all_passed passed, $all_failed failed, $all_skipped skipped"
  return "$status"
}
