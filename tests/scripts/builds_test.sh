#!/usr/bin/env bash
# The test command's decision (scripts/builds.sh) without set-up or a
# build: whether the 32-bit build's tests run, asked of stand-in loaders,
# and the closing block, judged on stand-in JUnit reports. A loader that the
# kernel refuses is a file with no format the kernel knows: its start fails
# with "Exec format error", status 126, as a 32-bit loader does on a machine
# that runs no 32-bit x86 program.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$top/scripts/builds.sh"

# The loaders.
printf '#!/bin/sh\necho "wine-8.0"\n' >"$work/runs"
head -c 64 /dev/zero >"$work/refused"
printf '#!/bin/sh\necho "wine: could not load ntdll.so" >&2\nexit 1\n' >"$work/broken"
chmod +x "$work/runs" "$work/refused" "$work/broken"

# The JUnit reports: one build passing (a skip of its own among them), one
# failing.
cat >"$work/pass.xml" <<'EOF'
<testsuite tests="3">
  <testcase name="A"/>
  <testcase name="B"/>
  <testcase name="C"><skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"/></testcase>
</testsuite>
EOF
cat >"$work/fail.xml" <<'EOF'
<testsuite tests="2">
  <testcase name="A"/>
  <testcase name="B"><failure message="x"/></testcase>
</testsuite>
EOF

# Stand-ins for the test command's two roads, each leaving a trace.
fake_test() {  # the tests of build $1 give $RESULT_<arch>: pass or fail
  local result
  eval "result=\$RESULT_$1"
  echo "tested $1" >>"$work/trace"
  cp "$work/$result.xml" "$work/$1.xml"
  [ "$result" = pass ]
}
fake_build() {
  echo "built $1" >>"$work/trace"
  [ "$BUILD" = ok ]
}

passed=0 failed=0
# name | builds | loader | x86_64's tests | i686's tests | i686 build alone |
# expected status | expected lines ("^" between them; "*" stands for any
# text) | expected trace ("^" between the steps)
cases=(
  "both_run_and_pass|x86_64 i686|runs|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: PASS (2 passed, 0 failed, 1 skipped)^overall: PASS^total: 4 passed, 0 failed, 2 skipped|tested x86_64^tested i686"
  "refusal_gives_not_run|x86_64 i686|refused|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: NOT RUN (built; this machine runs no 32-bit x86 program: LOADER gave \"Exec format error\")^overall: PASS^total: 2 passed, 0 failed, 1 skipped|tested x86_64^built i686"
  "refusal_with_a_build_that_fails_fails|x86_64 i686|refused|pass|pass|broken|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (the build failed)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64^built i686"
  "other_loader_failure_fails|x86_64 i686|broken|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER failed with status 1: wine: could not load ntdll.so)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64"
  "missing_loader_fails|x86_64 i686|missing|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER failed with status 127: *No such file or directory)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64"
  "failing_32bit_build_fails_the_command|x86_64 i686|runs|pass|fail|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (1 passed, 1 failed, 0 skipped)^overall: FAIL^total: 3 passed, 1 failed, 1 skipped|tested x86_64^tested i686"
  "nothing_run_fails|i686|refused|pass|pass|ok|1|i686: NOT RUN (built; this machine runs no 32-bit x86 program: LOADER gave \"Exec format error\")^no build ran its tests^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|built i686"
  "the_64bit_build_alone_never_asks_the_loader|x86_64|broken|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^overall: PASS^total: 2 passed, 0 failed, 1 skipped|tested x86_64"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name builds loader RESULT_x86_64 RESULT_i686 BUILD want_status want_lines want_trace <<<"$row"
  loader_path="$work/$loader"
  want_lines=${want_lines//LOADER/$loader_path}
  want_lines=${want_lines//^/$'\n'}
  : >"$work/trace"
  rm -f "$work"/x86_64.xml "$work"/i686.xml
  output=$(
    VORN_WINE32_LOADER=$loader_path
    vorn_records=()
    for arch in $builds; do
      vorn_run_build "$arch" "$work/$arch.xml" fake_test fake_build >/dev/null 2>&1
    done
    vorn_closing_block "${vorn_records[@]}"
  )
  status=$?
  problems=""
  [ "$status" = "$want_status" ] || problems+=" status $status, not $want_status;"
  # shellcheck disable=SC2053 # the expected lines are a pattern
  [[ $output == $want_lines ]] ||
    problems+=" closing block:"$'\n'"$output"$'\n'"not:"$'\n'"$want_lines"$'\n'
  [ "$(cat "$work/trace")" = "${want_trace//^/$'\n'}" ] ||
    problems+=" did: $(tr '\n' '^' <"$work/trace") not: $want_trace;"
  if [ -z "$problems" ]; then
    echo "ok   $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name:$problems"
    failed=$((failed + 1))
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
