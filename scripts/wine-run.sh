#!/usr/bin/env bash
# CTest's emulator: runs a Windows program under Wine, and starts it again
# when Wine could not bring it up at all.
#
#   bash scripts/wine-run.sh PROGRAM.exe [ARGS...]
#
# Now and then, under load, Wine fails to create the process before any of
# the program has run (CreateProcess's ERROR_INTERNAL_ERROR, 1359). Wine's
# start.exe then writes exactly two lines to standard output (not to
# standard error) and exits with status 1:
#
#   Application could not be started, or no application associated with the specified file.
#   ShellExecuteEx failed: Internal error.
#
# Rarer still, Wine ends with a failing status before the program has
# written anything at all. The programs run here are GoogleTest programs,
# which write their first line before any test runs: a start that failed
# without a byte of output never ran the program either.
#
# Those starts, and only those, are tried again, a few times at most, with
# one line about each in the output. Anything else, a program that ran and
# failed included, passes through as it is. VORN_WINE names the Wine command
# (scripts/env.sh sets it for the build; the tests of this script put a
# stand-in there).
#
# The program's output passes through as it comes, so that a test that
# hangs and is killed has still shown how far it got. Only what could still
# be Wine's two lines, at the very start, is held back until it is known.
set -u

wine_command=${VORN_WINE:-wine}
starts=4                     # the first start and three more
not_started_status=1
not_started_line1='Application could not be started, or no application associated with the specified file.'
not_started_line2='ShellExecuteEx failed: Internal error.'
not_started_text="$not_started_line1"$'\n'"$not_started_line2"$'\n'

held=""
child=""
stop() {
  [ -n "$child" ] && kill -TERM "$child" 2>/dev/null
  printf '%s' "$held"
  cat <&5 2>/dev/null
  exit 143
}
trap stop TERM INT

# True when TEXT is Wine's "not started" message and nothing else (its lines
# end in CR LF or LF, with a blank line after them).
not_started() {
  local lines
  lines=$(tr -d '\r' <<<"$1" | sed '/^$/d')
  [ "$lines" = "$not_started_line1"$'\n'"$not_started_line2" ]
}

# True while TEXT may still grow into that message.
could_be_not_started() {
  local text=${1//$'\r'/}
  while [[ $text == *$'\n\n'* ]]; do text=${text//$'\n\n'/$'\n'}; done
  text=${text#$'\n'}
  [[ $not_started_text == "$text"* || $text == "$not_started_text" ]]
}

# True when the start that just ended failed without a byte of output.
ended_silently() {
  [ "$status" != 0 ] && [ -z "$passing" ] && [ -z "$held" ]
}

for try in $(seq 1 "$starts"); do
  # The output goes to a file that is gone from the folder as soon as it is
  # open: a program that leaves a Wine process behind holding it cannot keep
  # the wrapper waiting, and nothing is left in the temporary folder, even
  # when the wrapper is killed.
  dir=$(mktemp -d) || exit 1
  exec 4>"$dir/out" 5<"$dir/out"
  rm -rf "$dir"
  "$wine_command" "$@" >&4 4>&- 5<&- &
  child=$!
  exec 4>&-
  held=""
  passing=""
  while :; do
    running=""
    kill -0 "$child" 2>/dev/null && running=1
    if [ -n "$passing" ]; then
      cat <&5
    else
      chunk=$(cat <&5; printf x)
      held+=${chunk%x}
      if ! could_be_not_started "$held"; then
        printf '%s' "$held"
        held=""
        passing=1
      fi
    fi
    [ -n "$running" ] || break
    sleep 0.02
  done
  exec 5<&-
  wait "$child"
  status=$?
  child=""
  if [ "$try" -lt "$starts" ]; then
    if [ "$status" = "$not_started_status" ] && not_started "$held"; then
      echo "wine-run: Wine could not start $1 (ShellExecuteEx: Internal error); starting it again ($((try + 1)) of $starts)"
      continue
    fi
    if ended_silently; then
      echo "wine-run: Wine could not start $1 (status $status, nothing written); starting it again ($((try + 1)) of $starts)"
      continue
    fi
  fi
  break
done
printf '%s' "$held"
if ended_silently; then
  echo "wine-run: $1 ended with status $status and wrote nothing"
fi
exit "$status"
