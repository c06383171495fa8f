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
# That start, and only that one, is tried again, a few times at most, with
# one line about it in the output. Anything else, a program that ran and
# failed included, passes through as it is. VORN_WINE names the Wine command
# (the tests of this script put a stand-in there).
set -u

wine_command=${VORN_WINE:-wine}
starts=4                     # the first start and three more
not_started_status=1
not_started_line1='Application could not be started, or no application associated with the specified file.'
not_started_line2='ShellExecuteEx failed: Internal error.'

out=$(mktemp) || exit 1
child=""
finish() { cat "$out"; rm -f "$out"; }
stop() {
  [ -n "$child" ] && kill -TERM "$child" 2>/dev/null
  finish
  exit 143
}
trap stop TERM INT

# True when the output in $out is Wine's "not started" message and nothing
# else (its lines end in CR LF or LF, with a blank line after them).
not_started() {
  local lines
  lines=$(tr -d '\r' <"$out" | sed '/^$/d')
  [ "$lines" = "$not_started_line1"$'\n'"$not_started_line2" ]
}

for try in $(seq 1 "$starts"); do
  : >"$out"
  "$wine_command" "$@" >"$out" &
  child=$!
  wait "$child"
  status=$?
  child=""
  if [ "$status" = "$not_started_status" ] && not_started && [ "$try" -lt "$starts" ]; then
    echo "wine-run: Wine could not start $1 (ShellExecuteEx: Internal error); starting it again ($((try + 1)) of $starts)"
    continue
  fi
  break
done
finish
exit "$status"
