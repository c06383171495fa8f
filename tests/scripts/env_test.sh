#!/usr/bin/env bash
# scripts/env.sh's Wine start against prefixes in a state of their own: one
# that another run holds, one whose server an earlier run left up, and the
# same start twice in one shell. Every start must return, each within a
# bound: a start that waits for a persistent server to end waits for good.
# A run's clean-up ends only what it started; the claim of a named prefix
# takes the prefix lock; the display starts with job control on and when two
# runs race for it; each build takes its own Wine road.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
holder_pid=""
cleanup() {
  local prefix
  for prefix in "$work/left-over" "$work/kept-named" "$work/kept-build/wineprefix" "$work/locked"; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  done
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

# A run whose claim was refused, or that failed before it claimed (its build
# or display), ends with its clean-up: the Wine of the run that holds the
# prefix goes on. The holder's Wine is a server kept up for its prefix.
# name | prefix held by the other run | named by the run | what the run does
keep_cases=(
  "refused_claim_leaves_the_holders_wine|$work/kept-named|yes|vorn_start_wine"
  "failure_before_the_claim_leaves_the_holders_wine|$work/kept-build/wineprefix|no|false"
)
for row in "${keep_cases[@]}"; do
  IFS='|' read -r name prefix named step <<<"$row"
  mkdir -p "$prefix"
  echo "$holder_pid" >"$prefix/.vorn-owner"
  WINEPREFIX=$prefix wineserver -p >/dev/null 2>&1
  server=$(cd "$top" && . scripts/env.sh && vorn_wineserver_pid "$prefix")
  named_prefix=""
  [ "$named" = yes ] && named_prefix=$prefix
  WINEPREFIX=$named_prefix VORN_BUILD="$work/kept-build" timeout 60 bash -c '
    cd "$0" && . scripts/env.sh || exit 9
    trap vorn_cleanup EXIT
    '"$step"' 2>/dev/null' "$top"
  now=$(cd "$top" && . scripts/env.sh && vorn_wineserver_pid "$prefix")
  if [ -z "$server" ]; then
    check "$name" "the holder's server did not start"
  elif [ "$now" != "$server" ]; then
    check "$name" "the holder's server $server was ended"
  elif [ "$(cat "$prefix/.vorn-owner")" != "$holder_pid" ]; then
    check "$name" "the holder's mark was taken"
  else
    check "$name" ok
  fi
done

# The claim of a named prefix waits for the build's prefix lock, like the
# claim of a prefix of the build: the check and the mark are one step.
mkdir -p "$work/locked" "$work/lock-build"
WINEPREFIX="$work/locked" wineserver -p >/dev/null 2>&1   # so that the start ends at the claim
exec 8>"$work/lock-build/.wineprefix.lock"
flock 8
WINEPREFIX="$work/locked" VORN_BUILD="$work/lock-build" timeout 60 bash -c '
  cd "$0" && . scripts/env.sh || exit 9
  vorn_start_wine; echo "status $?"' "$top" >"$work/locked.out" 2>&1 8>&- &
claimer=$!
r=ok
for _ in $(seq 1 200); do
  grep -q "waiting for a Wine prefix" "$work/locked.out" && break
  sleep 0.05
done
grep -q "waiting for a Wine prefix" "$work/locked.out" || r="did not wait for the lock: $(cat "$work/locked.out")"
[ -e "$work/locked/.vorn-owner" ] && r="marked the prefix while another run held the lock"
exec 8>&-
wait "$claimer"
[ "$r" = ok ] && ! grep -q '^status 0$' "$work/locked.out" && r="no claim after the lock: $(cat "$work/locked.out")"
check named_claim_takes_the_prefix_lock "$r"

# The display with job control on, as the README's benchmark line types it
# in an interactive shell: setsid forks there, so $! is not the server.
# Then two runs that start their displays at the same moment in one build.
display_run() {  # display_run BUILD GO HOLD: starts a display once the file GO
                 # exists, and keeps it until the file HOLD exists
  VORN_BUILD=$1 timeout 60 bash -c '
    set -m
    cd "$0" && . scripts/env.sh || exit 9
    for _ in $(seq 1 200); do [ -e "$1" ] && break; sleep 0.05; done
    vorn_start_display || exit 1
    files=$_vorn_display_files
    echo "display $DISPLAY $_vorn_display_pid $(cat /proc/$_vorn_display_pid/comm)"
    for _ in $(seq 1 400); do [ -e "$2" ] && break; sleep 0.05; done
    vorn_cleanup
    vorn_display_server "${files%% *}" >/dev/null && echo "left running"
    for f in $files; do [ -e "$f" ] && echo "left $f"; done
    exit 0' "$top" "$2" "$3"
}
touch "$work/go-now"
out=$(display_run "$work/display-one" "$work/go-now" "$work/go-now")
if [ "$?" != 0 ]; then
  check display_starts_with_job_control "did not start: $out"
elif ! grep -q '^display :[0-9]* [0-9]* Xorg$' <<<"$out" || grep -q "left" <<<"$out"; then
  check display_starts_with_job_control "$out"
else
  check display_starts_with_job_control ok
fi
display_run "$work/display-race" "$work/go-race" "$work/race-done" >"$work/race-1.out" 2>&1 &
first=$!
display_run "$work/display-race" "$work/go-race" "$work/race-done" >"$work/race-2.out" 2>&1 &
second=$!
touch "$work/go-race"
for _ in $(seq 1 400); do
  [ "$(cat "$work"/race-*.out | grep -c '^display ')" = 2 ] && break
  kill -0 "$first" 2>/dev/null && kill -0 "$second" 2>/dev/null || break
  sleep 0.05
done
touch "$work/race-done"
wait "$first"; s1=$?
wait "$second"; s2=$?
d1=$(sed -n 's/^display \(:[0-9]*\) .*/\1/p' "$work/race-1.out")
d2=$(sed -n 's/^display \(:[0-9]*\) .*/\1/p' "$work/race-2.out")
if [ "$s1$s2" != 00 ] || [ -z "$d1" ] || [ -z "$d2" ] || [ "$d1" = "$d2" ]; then
  check two_displays_started_together "$(cat "$work/race-1.out" "$work/race-2.out")"
elif grep -q "left" "$work/race-1.out" "$work/race-2.out"; then
  check two_displays_started_together "something was left: $(cat "$work/race-1.out" "$work/race-2.out")"
else
  check two_displays_started_together ok
fi

# Each build's Wine road, also when one shell takes the 64-bit build and
# then the 32-bit one: the 64-bit build goes straight to the 64-bit loader;
# nothing of that reaches the 32-bit build.
out=$(cd "$top" && env -u VORN_ARCH -u WINELOADER -u VORN_WINE -u WINEPREFIX bash -c '
  . scripts/env.sh; echo "x86_64 ${WINELOADER-unset} $VORN_WINE"
  VORN_ARCH=i686; . scripts/env.sh; echo "i686 ${WINELOADER-unset} $VORN_WINE"')
want="x86_64 /usr/lib/wine/wine64 /usr/lib/wine/wine64
i686 unset wine"
[ "$out" = "$want" ] && r=ok || r="$out"
check each_build_takes_its_own_wine_road "$r"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
