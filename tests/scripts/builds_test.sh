#!/usr/bin/env bash
# The test command's decision (scripts/builds.sh) without set-up or a
# build: whether the 32-bit build's tests run, asked of stand-in loaders,
# and the closing block, judged on stand-in JUnit reports. The loader that
# the kernel refuses is a whole ELF header for a 32-bit x86 program with no
# program header: every kernel refuses it with "Exec format error", status
# 126, as it refuses the 32-bit loader on a machine that runs no 32-bit x86
# program. (A machine that hands such files to an emulator through
# binfmt_misc would not refuse it.) The damaged loaders are refused the same
# way, but are no whole 32-bit x86 program.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$top/scripts/builds.sh"

# le BYTES VALUE: VALUE in BYTES bytes, least significant first, as printf
# escapes.
le() {
  local i
  for ((i = 0; i < $1; i++)); do printf '\\%03o' $((($2 >> (8 * i)) & 255)); done
}
# elf FILE CLASS MACHINE SHOFF SHNUM: an ELF header alone (52 bytes), of an
# executable with no program header and SHNUM section headers at SHOFF.
elf() {
  # shellcheck disable=SC2059 # the format is the bytes
  printf "\\177ELF$(le 1 "$2")\\001\\001$(le 9 0)$(le 2 2)$(le 2 "$3")$(le 4 1)$(le 4 0)$(le 4 0)$(le 4 "$4")$(le 4 0)$(le 2 52)$(le 2 32)$(le 2 0)$(le 2 40)$(le 2 "$5")$(le 2 0)" >"$1"
}

# The loaders.
printf '#!/bin/sh\necho "wine-8.0"\n' >"$work/runs"
elf "$work/refused" 1 3 0 0
head -c 64 /dev/zero >"$work/zeroed"                 # a file never written
elf "$work/cut_short" 1 3 4096 12                    # its section headers lost
head -c 30 "$work/refused" >"$work/header_cut"       # cut inside its header
elf "$work/other_machine" 1 40 0 0                   # a loader for ARM
printf '#!/bin/sh\necho "wine: could not load ntdll.so" >&2\nexit 1\n' >"$work/broken"
chmod +x "$work"/runs "$work"/refused "$work"/zeroed "$work"/cut_short \
  "$work"/header_cut "$work"/other_machine "$work"/broken

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
# What ctest leaves, with status 0, when its filter matched no test.
cat >"$work/none.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="(empty)"
	tests="0"
	failures="0"
	disabled="0"
	skipped="0"
	hostname=""
	time="0"
	timestamp="2026-01-01T00:00:00"/>
EOF

# Stand-ins for the test command's two roads, each leaving a trace.
fake_test() {  # the tests of build $1 give $RESULT_<arch>: pass, fail or
               # none (no test matched); the rest are ctest's arguments
  local result arch=$1
  shift
  eval "result=\$RESULT_$arch"
  echo "tested $arch $*" >>"$work/trace"
  cp "$work/$result.xml" "$work/$arch.xml"
  [ "$result" != fail ]
}
fake_build() {
  echo "built $1" >>"$work/trace"
  [ "$BUILD" = ok ]
}

passed=0 failed=0
# name | builds | ctest's arguments | loader | x86_64's tests | i686's tests |
# i686 build alone | expected status | expected lines ("^" between them;
# "*" stands for any text) | expected trace ("^" between the steps)
cases=(
  "both_run_and_pass|x86_64 i686||runs|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: PASS (2 passed, 0 failed, 1 skipped)^overall: PASS^total: 4 passed, 0 failed, 2 skipped|tested x86_64 ^tested i686 "
  "refusal_gives_not_run|x86_64 i686||refused|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: NOT RUN (built; this machine runs no 32-bit x86 program: LOADER gave \"Exec format error\")^overall: PASS^total: 2 passed, 0 failed, 1 skipped|tested x86_64 ^built i686"
  "refusal_with_a_build_that_fails_fails|x86_64 i686||refused|pass|pass|broken|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (the build failed)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 ^built i686"
  "zeroed_loader_fails|x86_64 i686||zeroed|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER gave \"Exec format error\", but it does not begin as an ELF file; install it again)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "loader_cut_short_fails|x86_64 i686||cut_short|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER gave \"Exec format error\", but it holds 52 bytes, while its header reaches to byte 4576: it was cut short; install it again)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "loader_cut_inside_its_header_fails|x86_64 i686||header_cut|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER gave \"Exec format error\", but it holds 30 bytes, fewer than an ELF header; install it again)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "loader_for_another_machine_fails|x86_64 i686||other_machine|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER gave \"Exec format error\", but it is for machine 40, not i386 (3); install it again)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "other_loader_failure_fails|x86_64 i686||broken|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER failed with status 1: wine: could not load ntdll.so)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "missing_loader_fails|x86_64 i686||missing|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER failed with status 127: *No such file or directory)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "failing_32bit_build_fails_the_command|x86_64 i686||runs|pass|fail|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (1 passed, 1 failed, 0 skipped)^overall: FAIL^total: 3 passed, 1 failed, 1 skipped|tested x86_64 ^tested i686 "
  "nothing_run_fails|i686||refused|pass|pass|ok|1|i686: NOT RUN (built; this machine runs no 32-bit x86 program: LOADER gave \"Exec format error\")^no build ran its tests^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|built i686"
  "the_64bit_build_alone_never_asks_the_loader|x86_64||broken|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^overall: PASS^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "filter_matching_nothing_fails|x86_64 i686|-R Verbz|runs|none|none|ok|1|x86_64: NO TEST RAN (no test matched -R Verbz)^i686: NO TEST RAN (no test matched -R Verbz)^no test matched -R Verbz in any build that ran^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|tested x86_64 -R Verbz^tested i686 -R Verbz"
  "filter_matching_nothing_beside_a_refusal_fails|x86_64 i686|-R Verbz|refused|none|none|ok|1|x86_64: NO TEST RAN (no test matched -R Verbz)^i686: NOT RUN (built; this machine runs no 32-bit x86 program: LOADER gave \"Exec format error\")^no test matched -R Verbz in any build that ran^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|tested x86_64 -R Verbz^built i686"
  "filter_matching_in_one_build_only_passes|x86_64 i686|-R ArmCompile|runs|pass|none|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: NO TEST RAN (no test matched -R ArmCompile)^overall: PASS^total: 2 passed, 0 failed, 1 skipped|tested x86_64 -R ArmCompile^tested i686 -R ArmCompile"
  "no_test_at_all_fails|x86_64||runs|none|none|ok|1|x86_64: NO TEST RAN^no test ran in any build that ran^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|tested x86_64 "
)
for row in "${cases[@]}"; do
  IFS='|' read -r name builds args loader RESULT_x86_64 RESULT_i686 BUILD want_status want_lines want_trace <<<"$row"
  loader_path="$work/$loader"
  want_lines=${want_lines//LOADER/$loader_path}
  want_lines=${want_lines//^/$'\n'}
  : >"$work/trace"
  rm -f "$work"/x86_64.xml "$work"/i686.xml
  output=$(
    VORN_WINE32_LOADER=$loader_path
    vorn_records=()
    for arch in $builds; do
      # shellcheck disable=SC2086 # the arguments are words
      vorn_run_build "$arch" "$work/$arch.xml" fake_test fake_build $args >/dev/null 2>&1
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

# The loader installed here, when there is one, is a whole 32-bit x86
# program: a machine that refuses it is judged by its kernel, not by a wrong
# reading of the header.
installed=/usr/lib/wine/wine
if [ -e "$installed" ]; then
  if fault=$(vorn_elf_i386 "$installed"); then
    echo "ok   installed_loader_is_whole"
    passed=$((passed + 1))
  else
    echo "FAIL installed_loader_is_whole: $installed: $fault"
    failed=$((failed + 1))
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
