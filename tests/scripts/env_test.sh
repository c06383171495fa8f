#!/usr/bin/env bash
# scripts/env.sh's Wine start against prefixes in a state of their own: one
# that another run holds, one whose server an earlier run left up, and the
# same start twice in one shell. Every start must return, each within a
# bound: a start that waits for a persistent server to end waits for good.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
holder_pid=""
cleanup() {
  WINEPREFIX="$work/left-over" wineserver -k >/dev/null 2>&1
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
passed=0 failed=0
check() {  # check NAME CONDITION-TEXT: the condition held
  if [ "$2" = ok ]; then
    echo "ok   $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1: $2"
    failed=$((failed + 1))
  fi
}

# vorn_start_wine for a prefix named by the caller, in a shell of its own,
# run twice; prints each status and what was said.
start_twice() {
  WINEPREFIX=$1 VORN_BUILD="$work/build" timeout 60 bash -c '
    cd "$0" && . scripts/env.sh || exit 9
    vorn_start_wine 2>&1; echo "status $?"
    vorn_start_wine 2>&1; echo "status $?"' "$top"
}

# A prefix that another run, still going, holds: refused at once, in a line.
mkdir -p "$work/held"
sleep 300 &
holder_pid=$!
echo "$holder_pid" >"$work/held/.vorn-owner"
out=$(start_twice "$work/held")
status=$?
if [ "$status" = 124 ]; then
  check held_by_another_run "did not return"
elif [ "$(grep -c '^status 1$' <<<"$out")" != 2 ]; then
  check held_by_another_run "not refused twice: $out"
elif [ "$(grep -c "in use by another run (pid $holder_pid)" <<<"$out")" != 2 ]; then
  check held_by_another_run "no line naming the run: $out"
else
  check held_by_another_run ok
fi
[ "$(cat "$work/held/.vorn-owner")" = "$holder_pid" ] && r=ok || r="the holder's mark was taken"
check held_prefix_keeps_its_holder "$r"

# A server left up for the prefix by a run that has ended: reused, twice.
mkdir -p "$work/left-over"
echo 999999 >"$work/left-over/.vorn-owner"   # no such process
WINEPREFIX="$work/left-over" wineserver -p >/dev/null 2>&1
server=$(cd "$top" && . scripts/env.sh && vorn_wineserver_pid "$work/left-over")
[ -n "$server" ] && r=ok || r="the left-over server is not seen"
check left_over_server_is_seen "$r"
out=$(start_twice "$work/left-over")
status=$?
if [ "$status" = 124 ]; then
  check left_over_server_reused "did not return"
elif [ "$(grep -c '^status 0$' <<<"$out")" != 2 ]; then
  check left_over_server_reused "not started twice: $out"
else
  now=$(cd "$top" && . scripts/env.sh && vorn_wineserver_pid "$work/left-over")
  [ "$now" = "$server" ] && check left_over_server_reused ok ||
    check left_over_server_reused "server $server replaced by '$now'"
fi

# No server for a prefix that has none.
mkdir -p "$work/none"
r=ok
(cd "$top" && . scripts/env.sh && vorn_wineserver_pid "$work/none" >/dev/null) &&
  r="a server is reported"
check no_server_for_an_idle_prefix "$r"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
