#!/usr/bin/env bash
# The emulator wrapper (scripts/wine-run.sh) against a stand-in for Wine: a
# start that Wine could not make is tried again, a bounded number of times;
# a program that ran, and failed or not, is never started again, and its
# output and status pass through as they are.
set -u
wrapper=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The stand-in: fails to start the first $FAILS times (with Wine's own
# message and status; or, for the reason "nothing", with no output and
# status 5), then "runs the program": prints what $PROGRAM_OUT holds and
# exits with $PROGRAM_STATUS. Every start is counted.
cat >"$work/wine" <<'STANDIN'
#!/usr/bin/env bash
n=$(( $(cat "$COUNT" 2>/dev/null || echo 0) + 1 ))
echo "$n" >"$COUNT"
if [ "$n" -le "$FAILS" ] && [ "$REASON" = nothing ]; then
  exit 5
elif [ "$n" -le "$FAILS" ]; then
  printf 'Application could not be started, or no application associated with the specified file.\nShellExecuteEx failed: %s\r\n\n' "$REASON"
  exit 1
fi
printf '%b' "$PROGRAM_OUT"
echo "stderr of $1" >&2
exit "$PROGRAM_STATUS"
STANDIN
chmod +x "$work/wine"

passed=0 failed=0
# name | failed starts | reason | program's output | program's status |
# expected starts | expected status | expected retry lines
cases=(
  "ran_at_once|0|Internal error.|[ PASSED ] 1 test.\n|0|1|0|0"
  "not_started_twice_then_ran|2|Internal error.|[ PASSED ] 1 test.\n|0|3|0|2"
  "not_started_every_time_gives_up|9|Internal error.|never\n|0|4|1|3"
  "other_start_error_passes_through|1|File not found.|never\n|0|1|1|0"
  "test_failing_on_its_own_is_not_retried|0|Internal error.|[  FAILED  ] A.B\n|1|1|1|0"
  "ended_having_written_nothing_twice_then_ran|2|nothing|[ PASSED ] 1 test.\n|0|3|0|2"
  "ended_having_written_nothing_every_time_gives_up|9|nothing|never\n|0|4|5|3"
  "ran_writing_nothing_and_passing_is_not_retried|0|nothing||0|1|0|0"
  "test_failing_having_written_something_is_not_retried|0|nothing|x|1|1|1|0"
  "program_printing_the_message_and_more_is_not_retried|0|Internal error.|Application could not be started, or no application associated with the specified file.\nShellExecuteEx failed: Internal error.\n[  FAILED  ] A.B\n|1|1|1|0"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name fails reason program_out program_status want_starts want_status want_retries <<<"$row"
  count="$work/$name.count"
  output=$(COUNT=$count FAILS=$fails REASON=$reason PROGRAM_OUT=$program_out \
           PROGRAM_STATUS=$program_status VORN_WINE="$work/wine" \
           bash "$wrapper" test.exe --gtest_filter=A.B 2>"$work/$name.err")
  status=$?
  starts=$(cat "$count")
  retries=$(grep -c '^wine-run: Wine could not start test.exe' <<<"$output")
  problems=""
  [ "$starts" = "$want_starts" ] || problems+=" started $starts times, not $want_starts;"
  [ "$status" = "$want_status" ] || problems+=" status $status, not $want_status;"
  [ "$retries" = "$want_retries" ] || problems+=" $retries retry lines, not $want_retries;"
  # What the program printed, once, after the retry lines.
  if [ "$starts" -gt "$fails" ]; then
    rest=$(grep -v '^wine-run: ' <<<"$output")
    [ "$rest" = "$(printf '%b' "$program_out")" ] ||
      problems+=" output not passed through as it was;"
    grep -q "stderr of test.exe" "$work/$name.err" || problems+=" standard error lost;"
  elif [ "$reason" = nothing ]; then
    grep -q "^wine-run: test.exe ended with status 5 and wrote nothing$" <<<"$output" ||
      problems+=" the last start's silent end not named;"
  elif [ "$want_status" != 0 ]; then
    grep -q '^ShellExecuteEx failed: ' <<<"$output" || problems+=" Wine's message not shown;"
  fi
  if [ -z "$problems" ]; then
    echo "ok   $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name:$problems"
    echo "$output" | sed 's/^/    | /'
    failed=$((failed + 1))
  fi
done

# A program that hangs: what it printed shows while it still runs, so that
# a test killed at its time-out names the case it was stuck in; and the
# wrapper, killed as CTest kills it, leaves nothing in the temporary folder.
cat >"$work/hang" <<'STANDIN'
#!/usr/bin/env bash
echo "[ RUN      ] Stuck.Here"
for _ in $(seq 1 600); do [ -e "$RELEASE" ] && exit 0; sleep 0.1; done
STANDIN
chmod +x "$work/hang"
mkdir -p "$work/tmp"
RELEASE="$work/release" VORN_WINE="$work/hang" TMPDIR="$work/tmp" \
  bash "$wrapper" stuck.exe >"$work/hang.out" 2>&1 &
wrapper_pid=$!
shown=""
for _ in $(seq 1 200); do
  grep -q '^\[ RUN      \] Stuck.Here$' "$work/hang.out" && { shown=1; break; }
  sleep 0.05
done
problems=""
[ -n "$shown" ] || problems+=" the hung program's output did not show;"
kill -KILL "$wrapper_pid" 2>/dev/null
wait "$wrapper_pid" 2>/dev/null
touch "$work/release"
left=$(ls -A "$work/tmp")
[ -z "$left" ] || problems+=" left in the temporary folder: $left;"
if [ -z "$problems" ]; then
  echo "ok   hung_program_shows_its_output_and_leaves_nothing"
  passed=$((passed + 1))
else
  echo "FAIL hung_program_shows_its_output_and_leaves_nothing:$problems"
  failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
