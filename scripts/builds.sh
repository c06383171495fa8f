# Sourced by scripts/test.sh: whether this machine can run the 32-bit
# build's tests, and the closing block that judges the builds. Kept apart
# so that tests/scripts/builds_test.sh can drive both with stand-ins.

# Whether FILE is a whole 32-bit x86 program, by its ELF header: the ELF
# magic, the 32-bit class, little-endian, a program (executable or shared
# object) for the i386 machine, and every table that the header points to
# inside the file. An install cut short leaves a file that is empty, zeroed or
# too short for its own tables; any kernel may refuse such a file, and that
# refusal says nothing about the machine. Prints what is wrong when it is not.
vorn_elf_i386() {
  local file=$1 size b=() type machine phoff shoff phend shend
  if [ ! -f "$file" ] || [ ! -r "$file" ]; then
    echo "it is not a file that can be read"
    return 1
  fi
  size=$(stat -L -c %s -- "$file")
  read -r -d '' -a b < <(od -An -v -tu1 -N52 -- "$file") || true
  if [ "${#b[@]}" -lt 52 ]; then
    echo "it holds $size bytes, fewer than an ELF header"
    return 1
  fi
  if [ "${b[*]:0:4}" != "127 69 76 70" ]; then
    echo "it does not begin as an ELF file"
    return 1
  fi
  if [ "${b[4]}" != 1 ] || [ "${b[5]}" != 1 ]; then
    echo "it is not a 32-bit little-endian ELF file (class ${b[4]}, data ${b[5]})"
    return 1
  fi
  type=$((b[16] | b[17] << 8))
  machine=$((b[18] | b[19] << 8))
  if [ "$type" != 2 ] && [ "$type" != 3 ]; then
    echo "it is not a program (ELF type $type)"
    return 1
  fi
  if [ "$machine" != 3 ]; then
    echo "it is for machine $machine, not i386 (3)"
    return 1
  fi
  phoff=$((b[28] | b[29] << 8 | b[30] << 16 | b[31] << 24))
  shoff=$((b[32] | b[33] << 8 | b[34] << 16 | b[35] << 24))
  phend=$((phoff + (b[42] | b[43] << 8) * (b[44] | b[45] << 8)))
  shend=$((shoff + (b[46] | b[47] << 8) * (b[48] | b[49] << 8)))
  [ "$shend" -gt "$phend" ] && phend=$shend
  if [ "$phend" -gt "$size" ]; then
    echo "it holds $size bytes, while its header reaches to byte $phend: it was cut short"
    return 1
  fi
}

# Whether this machine runs 32-bit x86 programs, asked of the 32-bit Wine
# loader itself, by its path (VORN_WINE32_LOADER, for a stand-in). Prints
# what the loader gave when it did not run. Returns
#   0  it runs (also through an emulator registered with binfmt_misc);
#   1  the kernel refuses a whole 32-bit x86 program: "Exec format error",
#      status 126. The machine runs no 32-bit x86 program;
#   2  any other failure (a missing package, a loader cut short or damaged,
#      a crash): a fault of the set-up, and a failure it stays.
vorn_loader32() {
  local loader=${VORN_WINE32_LOADER:-/usr/lib/wine/wine} out status fault
  out=$("$loader" --version </dev/null 2>&1)
  status=$?
  [ "$status" = 0 ] && return 0
  if [ "$status" = 126 ] && grep -q "Exec format error" <<<"$out"; then
    if fault=$(vorn_elf_i386 "$loader"); then
      echo "$loader gave \"Exec format error\""
      return 1
    fi
    echo "$loader gave \"Exec format error\", but $fault; install it again"
    return 2
  fi
  echo "$loader failed with status $status: $(head -n 1 <<<"$out")"
  return 2
}

# The builds that VORN_ARCHS chooses (the phone's, arm, and both x86 builds
# when it is unset), as words, the phone's first. A VORN_BUILD that the caller set names the folder of one build: with
# more than one build chosen, the run is refused, in a line that says to set
# VORN_ARCHS too.
vorn_chosen_builds() {
  local archs arch wine=() phone=()
  read -r -a archs <<<"${VORN_ARCHS:-arm x86_64 i686}"
  # The phone's build (arm) comes first, and has a folder of its own.
  for arch in "${archs[@]}"; do
    if [ "$arch" = arm ]; then phone=(arm); else wine+=("$arch"); fi
  done
  if [ -n "${VORN_BUILD:-}" ] && [ "${#wine[@]}" -gt 1 ]; then
    echo "test: VORN_BUILD ($VORN_BUILD) names the folder of one build, but ${#wine[@]} builds are chosen (${wine[*]}): set VORN_ARCHS too, to the one build that folder is for (VORN_ARCHS=x86_64 or VORN_ARCHS=i686), or unset VORN_BUILD" >&2
    return 1
  fi
  echo "${phone[*]-} ${wine[*]-}"
}

# The folder that build ARCH runs in: the caller's VORN_BUILD, else build/
# for x86_64 and build-ARCH/ for the others, in the current folder.
vorn_build_folder() {
  if [ "$1" = arm ]; then
    echo "$PWD/build-arm"
  elif [ -n "${VORN_BUILD:-}" ]; then
    echo "$VORN_BUILD"
  elif [ "$1" = x86_64 ]; then
    echo "$PWD/build"
  else
    echo "$PWD/build-$1"
  fi
}

# vorn_run_build ARCH FOLDER TEST BUILD [ARGS...]: one build's turn, in
# FOLDER. Runs its tests with TEST ARCH ARGS..., which leaves its JUnit
# report as FOLDER/junit.xml; a report from before is removed first, so
# that only what this run's tests wrote is judged. The 32-bit build on a
# machine that runs no 32-bit x86 program is only built, with BUILD ARCH,
# so that a compile error still fails. TEST and BUILD see FOLDER as
# VORN_BUILD. Adds the build's record to vorn_records, and keeps ARGS
# (ctest's filter) in vorn_test_args for the closing block.
vorn_records=()
vorn_test_args=()
vorn_run_build() {
  local arch=$1 folder=$2 test=$3 build=$4 why loader_status=0 status=0
  shift 4
  vorn_test_args=("$@")
  # The phone's program is only built here: its image is checked by the
  # 64-bit build's tests.
  if [ "$arch" = arm ]; then
    if "$build" "$arch"; then
      vorn_records+=("$arch|built|built ${folder#"$PWD"/}/vorn.exe$(
        [ -f "$folder/vorn.exe" ] && printf ', %s bytes' "$(stat -c %s "$folder/vorn.exe")")")
    else
      vorn_records+=("$arch|failed|the phone build failed")
    fi
    return 0
  fi
  rm -f "$folder/junit.xml"
  if [ "$arch" = i686 ]; then
    why=$(vorn_loader32) || loader_status=$?
    case "$loader_status" in
      0) ;;
      1) echo "$why: this machine runs no 32-bit x86 program; building only"
         if VORN_BUILD=$folder "$build" "$arch"; then
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
  VORN_BUILD=$folder "$test" "$arch" "$@" || status=$?
  vorn_records+=("$arch|ran $status|$folder/junit.xml")
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
# at least one test ran. A build whose tests ran while ctest's arguments
# (vorn_test_args) matched none of them says so: it fails the run only when
# no other build ran a test either (a filter with a typo), since some tests
# exist in one build only. A record is ARCH|OUTCOME|DETAIL:
#   ARCH|ran N|JUNIT   its tests ran and ctest gave status N
#   ARCH|not run|WHY   built, its tests not run, and why
#   ARCH|built|WHAT    the phone's build (arm), which has no tests of its own
#   ARCH|failed|WHAT   it failed before its tests could run
vorn_closing_block() {
  local record arch outcome detail passed failed skipped line status=0 ran=0
  local tested=0 unmatched=0 built=0 all_passed=0 all_failed=0 all_skipped=0 matched
  matched="no test matched ${vorn_test_args[*]}"
  [ "${#vorn_test_args[@]}" -gt 0 ] || matched="no test ran"
  for record in "$@"; do
    IFS='|' read -r arch outcome detail <<<"$record"
    case "$outcome" in
      "ran "*)
        ran=$((ran + 1))
        if read -r passed failed skipped < <(vorn_counts "$detail"); then
          tested=$((tested + 1))
          all_passed=$((all_passed + passed))
          all_failed=$((all_failed + failed))
          all_skipped=$((all_skipped + skipped))
          line="$passed passed, $failed failed, $skipped skipped"
        elif [ "${outcome#ran }" = 0 ]; then
          unmatched=$((unmatched + 1))
          if [ "${#vorn_test_args[@]}" -gt 0 ]; then
            echo "$arch: NO TEST RAN ($matched)"
          else
            echo "$arch: NO TEST RAN"
          fi
          continue
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
      built)
        built=$((built + 1))
        echo "$arch: PASS ($detail)" ;;
      *)
        echo "$arch: FAIL ($detail)"
        status=1 ;;
    esac
  done
  if [ "$ran" = 0 ] && [ "$built" = 0 ]; then
    echo "no build ran its tests"
    status=1
  elif [ "$ran" = 0 ]; then
    :  # the phone's build alone, chosen so
  elif [ "$tested" = 0 ]; then
    # A build that stopped before its tests (its line says FAIL) tells
    # nothing of the filter.
    [ "$unmatched" = 0 ] || echo "$matched in any build that ran"
    status=1
  fi
  [ "$status" = 0 ] && echo "overall: PASS" || echo "overall: FAIL"
  echo "total: $all_passed passed, $all_failed failed, $all_skipped skipped"
  return "$status"
}
