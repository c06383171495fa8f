#!/usr/bin/env bash
# The test command's decision (scripts/builds.sh) without set-up or a
# build: whether the 32-bit build's tests run, asked of stand-in loaders,
# the builds chosen and the folder each runs in, and the closing block,
# judged on the stand-in JUnit report that each build wrote in its own
# folder in this run (a stale one from before never counts). The loader that
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
fake_test() {  # the tests of build $1 give $RESULT_<arch>: pass, fail, none
               # (no test matched) or stopped (the run stopped before its
               # tests: no report); the rest are ctest's arguments. Like
               # ctest run in the build folder, it writes its report there.
  local result arch=$1
  shift
  eval "result=\$RESULT_$arch"
  echo "tested $arch $*" >>"$work/trace"
  [ "$result" != stopped ] || return 1
  cp "$work/$result.xml" "$VORN_BUILD/junit.xml"
  [ "$result" != fail ]
}
fake_build() {
  echo "built $1" >>"$work/trace"
  [ "$BUILD" = ok ]
}

passed=0 failed=0
# name | builds (VORN_ARCHS) | the caller's VORN_BUILD | ctest's arguments |
# loader | x86_64's tests | i686's tests | i686 build alone | expected status |
# expected lines ("^" between them; "*" stands for any text) | expected
# trace ("^" between the steps). Before each row, every build folder holds a
# stale passing report from an earlier run.
cases=(
  "both_run_and_pass|x86_64 i686|||runs|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: PASS (2 passed, 0 failed, 1 skipped)^overall: PASS^total: 4 passed, 0 failed, 2 skipped|tested x86_64 ^tested i686 "
  "refusal_gives_not_run|x86_64 i686|||refused|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: NOT RUN (built; this machine runs no 32-bit x86 program: LOADER gave \"Exec format error\")^overall: PASS^total: 2 passed, 0 failed, 1 skipped|tested x86_64 ^built i686"
  "refusal_with_a_build_that_fails_fails|x86_64 i686|||refused|pass|pass|broken|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (the build failed)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 ^built i686"
  "zeroed_loader_fails|x86_64 i686|||zeroed|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER gave \"Exec format error\", but it does not begin as an ELF file; install it again)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "loader_cut_short_fails|x86_64 i686|||cut_short|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER gave \"Exec format error\", but it holds 52 bytes, while its header reaches to byte 4576: it was cut short; install it again)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "loader_cut_inside_its_header_fails|x86_64 i686|||header_cut|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER gave \"Exec format error\", but it holds 30 bytes, fewer than an ELF header; install it again)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "loader_for_another_machine_fails|x86_64 i686|||other_machine|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER gave \"Exec format error\", but it is for machine 40, not i386 (3); install it again)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "other_loader_failure_fails|x86_64 i686|||broken|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER failed with status 1: wine: could not load ntdll.so)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "missing_loader_fails|x86_64 i686|||missing|pass|pass|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (LOADER failed with status 127: *No such file or directory)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "failing_32bit_build_fails_the_command|x86_64 i686|||runs|pass|fail|ok|1|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: FAIL (1 passed, 1 failed, 0 skipped)^overall: FAIL^total: 3 passed, 1 failed, 1 skipped|tested x86_64 ^tested i686 "
  "nothing_run_fails|i686|||refused|pass|pass|ok|1|i686: NOT RUN (built; this machine runs no 32-bit x86 program: LOADER gave \"Exec format error\")^no build ran its tests^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|built i686"
  "the_64bit_build_alone_never_asks_the_loader|x86_64|||broken|pass|pass|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^overall: PASS^total: 2 passed, 0 failed, 1 skipped|tested x86_64 "
  "filter_matching_nothing_fails|x86_64 i686||-R Verbz|runs|none|none|ok|1|x86_64: NO TEST RAN (no test matched -R Verbz)^i686: NO TEST RAN (no test matched -R Verbz)^no test matched -R Verbz in any build that ran^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|tested x86_64 -R Verbz^tested i686 -R Verbz"
  "filter_matching_nothing_beside_a_refusal_fails|x86_64 i686||-R Verbz|refused|none|none|ok|1|x86_64: NO TEST RAN (no test matched -R Verbz)^i686: NOT RUN (built; this machine runs no 32-bit x86 program: LOADER gave \"Exec format error\")^no test matched -R Verbz in any build that ran^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|tested x86_64 -R Verbz^built i686"
  "filter_matching_in_one_build_only_passes|x86_64 i686||-R PhoneImage|runs|pass|none|ok|0|x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: NO TEST RAN (no test matched -R PhoneImage)^overall: PASS^total: 2 passed, 0 failed, 1 skipped|tested x86_64 -R PhoneImage^tested i686 -R PhoneImage"
  "no_test_at_all_fails|x86_64|||runs|none|none|ok|1|x86_64: NO TEST RAN^no test ran in any build that ran^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|tested x86_64 "
  "stale_report_beside_a_filter_matching_nothing_fails|x86_64|$work/mine|-R Verbz|runs|none|none|ok|1|x86_64: NO TEST RAN (no test matched -R Verbz)^no test matched -R Verbz in any build that ran^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|tested x86_64 -R Verbz"
  "stale_report_beside_a_run_stopped_before_its_tests_fails|x86_64||-R Hold|runs|stopped|none|ok|1|x86_64: FAIL (no test ran)^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|tested x86_64 -R Hold"
  "callers_folder_is_the_one_builds_folder|i686|$work/mine||runs|pass|fail|ok|1|i686: FAIL (1 passed, 1 failed, 0 skipped)^overall: FAIL^total: 1 passed, 1 failed, 0 skipped|tested i686 "
  "callers_folder_with_both_builds_is_refused|x86_64 i686|$work/mine||runs|pass|pass|ok|1|test: VORN_BUILD ($work/mine) names the folder of one build, but 2 builds are chosen (x86_64 i686): set VORN_ARCHS too*|"
  "callers_folder_with_the_builds_by_default_is_refused||$work/mine||runs|pass|pass|ok|1|test: VORN_BUILD ($work/mine) names the folder of one build, but 2 builds are chosen (x86_64 i686): set VORN_ARCHS too*|"
  "phone_build_comes_first_and_passes_beside_the_tests|x86_64 i686 arm|||runs|pass|pass|ok|0|arm: PASS (built build-arm/vorn.exe)^x86_64: PASS (2 passed, 0 failed, 1 skipped)^i686: PASS (2 passed, 0 failed, 1 skipped)^overall: PASS^total: 4 passed, 0 failed, 2 skipped|built arm^tested x86_64 ^tested i686 "
  "phone_build_that_fails_fails_the_command|arm x86_64|||runs|pass|pass|broken|1|arm: FAIL (the phone build failed)^x86_64: PASS (2 passed, 0 failed, 1 skipped)^overall: FAIL^total: 2 passed, 0 failed, 1 skipped|built arm^tested x86_64 "
  "phone_build_alone_passes|arm|||runs|pass|pass|ok|0|arm: PASS (built build-arm/vorn.exe)^overall: PASS^total: 0 passed, 0 failed, 0 skipped|built arm"
  "phone_build_beside_a_filter_matching_nothing_fails|arm x86_64||-R Verbz|runs|none|none|ok|1|arm: PASS (built build-arm/vorn.exe)^x86_64: NO TEST RAN (no test matched -R Verbz)^no test matched -R Verbz in any build that ran^overall: FAIL^total: 0 passed, 0 failed, 0 skipped|built arm^tested x86_64 -R Verbz"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name builds caller_build args loader RESULT_x86_64 RESULT_i686 BUILD want_status want_lines want_trace <<<"$row"
  loader_path="$work/$loader"
  want_lines=${want_lines//LOADER/$loader_path}
  want_lines=${want_lines//^/$'\n'}
  : >"$work/trace"
  for folder in "$work/tree/build" "$work/tree/build-i686" "$work/mine"; do
    mkdir -p "$folder"
    cp "$work/pass.xml" "$folder/junit.xml"
  done
  # As the test command does it, in the tree's top folder.
  output=$(
    cd "$work/tree" || exit 9
    export VORN_WINE32_LOADER=$loader_path VORN_ARCHS=$builds
    if [ -n "$caller_build" ]; then export VORN_BUILD=$caller_build; else unset VORN_BUILD; fi
    archs=$(vorn_chosen_builds 2>&1) || { echo "$archs"; exit 1; }
    vorn_records=()
    for arch in $archs; do
      # shellcheck disable=SC2086 # the arguments are words
      vorn_run_build "$arch" "$(vorn_build_folder "$arch")" fake_test fake_build $args >/dev/null 2>&1
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
