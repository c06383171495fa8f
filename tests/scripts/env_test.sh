#!/usr/bin/env bash
# scripts/env.sh's Wine start against prefixes in a state of their own: one
# that another run holds, one whose server an earlier run left up, and the
# same start twice in one shell. A prefix named in WINEPREFIX is used only
# when the test bed made it or it is a new or empty folder, and never with
# a server that the run did not start: anything else is refused, left as it
# was, in a line that says how to go on. Every start must return, each
# within a bound: a start that waits for a persistent server to end waits
# for good.
# A run's clean-up ends only what it started and still owns; the claim of a
# prefix takes that prefix's own lock; the display starts with job control
# on and when two runs race for it, and a display that does not end on TERM
# is killed; each build takes its own Wine road and prefix, also when one
# shell takes both.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
holder_pid=""
stubborn_pid=""
cleanup() {
  local prefix
  for prefix in "$work/left-over/wineprefix" "$work/kept-named" "$work/kept-build/wineprefix" \
                "$work/locked" "$work/locked-build/wineprefix" "$work/own/wineprefix" \
                "$work/taken/wineprefix" "$work/empty" "$work/served" "$work/served-empty" \
                "$work/tree/build/wineprefix" "$work/tree/build-i686/wineprefix-2"; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  done
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
  [ -n "$stubborn_pid" ] && kill -KILL "$stubborn_pid" 2>/dev/null
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
# The pid of the Wine server of a prefix, or nothing.
server_of() {
  (cd "$top" && . scripts/env.sh && vorn_wineserver_pid "$1")
}
# Whether a process runs: a zombie (nothing here reaps orphans) has ended.
running() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

# vorn_start_wine for a prefix named by the caller (or, with none, the first
# of the build's), in a shell of its own, run twice; prints each status and
# what was said.
start_twice() {  # start_twice PREFIX [BUILD]
  WINEPREFIX=$1 VORN_BUILD=${2:-$work/build} timeout 60 bash -c '
    cd "$0" && . scripts/env.sh || exit 9
    vorn_start_wine 2>&1; echo "status $?"
    vorn_start_wine 2>&1; echo "status $?"' "$top"
}

# A prefix that another run, still going, holds: refused at once, in a line.
mkdir -p "$work/held"
sleep 3600 &   # ended by the clean-up
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

# A server left up for the build's prefix by a run that has ended: reused,
# twice.
mkdir -p "$work/left-over/wineprefix"
echo 999999 >"$work/left-over/wineprefix/.vorn-owner"   # no such process
WINEPREFIX="$work/left-over/wineprefix" wineserver -p >/dev/null 2>&1
server=$(server_of "$work/left-over/wineprefix")
[ -n "$server" ] && r=ok || r="the left-over server is not seen"
check left_over_server_is_seen "$r"
out=$(start_twice "" "$work/left-over")
status=$?
if [ "$status" = 124 ]; then
  check left_over_server_reused "did not return"
elif [ "$(grep -c '^status 0$' <<<"$out")" != 2 ]; then
  check left_over_server_reused "not started twice: $out"
else
  now=$(server_of "$work/left-over/wineprefix")
  [ "$now" = "$server" ] && check left_over_server_reused ok ||
    check left_over_server_reused "server $server replaced by '$now'"
fi

# A prefix named in WINEPREFIX that the test bed did not make and that holds
# anything is refused before anything is written in it: it stays byte for
# byte as it was, and the run says why it stopped and how to go on. So is
# one reached through a link, and one that holds a single hidden file.
snapshot() {  # every name under a folder with its kind, size, mode and time, and each file's bytes
  (cd -P "$1" && find . -printf '%p %y %s %m %T@\n' | sort && find . -type f -exec sha256sum {} + | sort)
}
named_run() {  # named_run PREFIX: a run that names PREFIX starts Wine, says
               # which server runs for it, then cleans up
  WINEPREFIX=$1 VORN_BUILD="$work/named-build" timeout 300 bash -c '
    cd "$0" && . scripts/env.sh || exit 9
    trap vorn_cleanup EXIT
    vorn_start_wine 2>&1; echo "status $?"
    echo "server $(vorn_wineserver_pid "$WINEPREFIX")"' "$top"
}
mkdir -p "$work/users/drive_c" "$work/hidden"
echo "a letter" >"$work/users/drive_c/doc.txt"
printf 'WINE REGISTRY Version 2\n;; the user'"'"'s keys\n' >"$work/users/user.reg"
printf 'WINE REGISTRY Version 2\n;; the machine'"'"'s keys\n' >"$work/users/system.reg"
ln -s "$work/users" "$work/link-to-users"
echo "x" >"$work/hidden/.profile"
# name | the prefix named | the folder that must stay as it was
foreign_cases=(
  "foreign_prefix_is_left_as_it_was|$work/users|$work/users"
  "foreign_prefix_through_a_link_is_left_as_it_was|$work/link-to-users|$work/users"
  "folder_with_a_hidden_file_is_left_as_it_was|$work/hidden|$work/hidden"
)
for row in "${foreign_cases[@]}"; do
  IFS='|' read -r name prefix folder <<<"$row"
  before=$(snapshot "$folder")
  out=$(named_run "$prefix")
  after=$(snapshot "$folder")
  if [ "$after" != "$before" ]; then
    r="the prefix changed (the first of $(diff <(echo "$before") <(echo "$after") | grep -c '^[<>]') lines that differ):"$'\n'"$(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | head -n 6)"$'\n'"$(tail -n 3 <<<"$out")"
  elif ! grep -qx "status 1" <<<"$out"; then
    r="not refused: $out"
  elif ! grep -F "$prefix" <<<"$out" | grep -q "unset WINEPREFIX.*new or empty folder"; then
    r="no line that names it and says how to go on: $out"
  else
    r=ok
  fi
  check "$name" "$r"
done

# An empty folder named in WINEPREFIX becomes a prefix, marked as the test
# bed's; the run's clean-up ends the server it started there and takes its
# mark away.
mkdir -p "$work/empty"
out=$(named_run "$work/empty")
server=$(sed -n 's/^server //p' <<<"$out")
for _ in $(seq 1 100); do
  running "$server" || break
  sleep 0.05
done
if ! grep -qx "status 0" <<<"$out" || [ -z "$server" ]; then
  r="not started: $out"
elif [ ! -f "$work/empty/system.reg" ] || [ ! -s "$work/empty/.vorn-wine" ]; then
  r="no prefix made, or not marked: $(ls -A "$work/empty" | tr '\n' ' ')"
elif [ -e "$work/empty/.vorn-owner" ]; then
  r="the run's mark was left"
elif running "$server"; then
  r="the run's server $server still runs"
else
  r=ok
fi
check empty_named_folder_becomes_a_prefix "$r"

# A Wine server that the run did not start runs for the prefix it names:
# refused, in a line, and that server is neither adopted nor ended, also by
# the run's clean-up; the prefix is not marked. It runs for a prefix that
# the test bed made, or for an empty folder (where it leaves a file).
# name | prefix | made by the test bed | what the line says
served_cases=(
  "server_not_started_by_the_run_is_left_running|$work/served|yes|a Wine server that this run did not start"
  "server_in_an_empty_folder_is_left_running|$work/served-empty|no|holds files that the test bed did not make"
)
for row in "${served_cases[@]}"; do
  IFS='|' read -r name prefix made says <<<"$row"
  mkdir -p "$prefix/drive_c"
  if [ "$made" = yes ]; then
    echo "made by the test bed" >"$prefix/.vorn-wine"
    echo "a letter" >"$prefix/drive_c/doc.txt"
  fi
  WINEPREFIX=$prefix wineserver -p >/dev/null 2>&1
  server=$(server_of "$prefix")
  out=$(named_run "$prefix")
  # A server that was told to end is gone within a second.
  for _ in $(seq 1 20); do
    running "$server" || break
    sleep 0.05
  done
  if [ -z "$server" ]; then
    r="the server did not start"
  elif ! grep -qx "status 1" <<<"$out"; then
    r="not refused: $out"
  elif ! grep -F "$prefix" <<<"$out" | grep -F "$says" | grep -q "unset WINEPREFIX.*new or empty folder"; then
    r="no line that says \"$says\" and how to go on: $out"
  elif [ "$(server_of "$prefix")" != "$server" ] || ! running "$server"; then
    r="the server $server was ended"
  elif [ -e "$prefix/.vorn-owner" ]; then
    r="the prefix was marked"
  elif [ "$made" = yes ] && [ "$(cat "$prefix/drive_c/doc.txt")" != "a letter" ]; then
    r="the prefix was emptied"
  else
    r=ok
  fi
  check "$name" "$r"
done

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
  echo "made by the test bed" >"$prefix/.vorn-wine"
  echo "$holder_pid" >"$prefix/.vorn-owner"
  WINEPREFIX=$prefix wineserver -p >/dev/null 2>&1
  server=$(cd "$top" && . scripts/env.sh && vorn_wineserver_pid "$prefix")
  named_prefix=""
  [ "$named" = yes ] && named_prefix=$prefix
  out=$(WINEPREFIX=$named_prefix VORN_BUILD="$work/kept-build" timeout 60 bash -c '
    cd "$0" && . scripts/env.sh || exit 9
    trap vorn_cleanup EXIT
    '"$step"' 2>&1' "$top")
  now=$(cd "$top" && . scripts/env.sh && vorn_wineserver_pid "$prefix")
  if [ -z "$server" ]; then
    check "$name" "the holder's server did not start"
  elif [ "$named" = yes ] && ! grep -q "in use by another run (pid $holder_pid)" <<<"$out"; then
    check "$name" "not refused as the holder's: $out"
  elif [ "$now" != "$server" ]; then
    check "$name" "the holder's server $server was ended"
  elif [ "$(cat "$prefix/.vorn-owner")" != "$holder_pid" ]; then
    check "$name" "the holder's mark was taken"
  else
    check "$name" ok
  fi
done

# A run's clean-up ends the Wine server of the prefix it claimed and takes
# its mark away, but only while the mark still names the run: a prefix that
# another run has taken over since keeps its server and its mark. The
# prefix is the build's own, whose left-over server the run adopts.
# name | the run's build folder | taken over before the clean-up
cleanup_cases=(
  "cleanup_ends_its_own_prefix|$work/own|no"
  "cleanup_leaves_a_prefix_taken_over|$work/taken|yes"
)
for row in "${cleanup_cases[@]}"; do
  IFS='|' read -r name build taken <<<"$row"
  prefix=$build/wineprefix
  mkdir -p "$prefix"
  WINEPREFIX=$prefix wineserver -p >/dev/null 2>&1   # so that the start ends at the claim
  server=$(server_of "$prefix")
  WINEPREFIX="" VORN_BUILD=$build timeout 60 bash -c '
    cd "$0" && . scripts/env.sh || exit 9
    vorn_start_wine || exit 8
    [ "$1" = no ] || echo "$2" >"$WINEPREFIX/.vorn-owner"
    vorn_cleanup' "$top" "$taken" "$holder_pid" 2>/dev/null
  status=$?
  for _ in $(seq 1 100); do
    now=$(server_of "$prefix")
    [ -z "$now" ] || [ "$taken" = yes ] && break
    sleep 0.05
  done
  mark=$(cat "$prefix/.vorn-owner" 2>/dev/null)
  if [ -z "$server" ]; then
    r="the prefix's server did not start"
  elif [ "$status" != 0 ]; then
    r="the run gave status $status"
  elif [ "$taken" = no ] && { [ -n "$now" ] || [ -n "$mark" ]; }; then
    r="its own prefix kept server '$now' and mark '$mark'"
  elif [ "$taken" = yes ] && [ "$now" != "$server" ]; then
    r="the server $server of the run that took the prefix over was ended"
  elif [ "$taken" = yes ] && [ "$mark" != "$holder_pid" ]; then
    r="the mark of the run that took the prefix over is now '$mark'"
  else
    r=ok
  fi
  check "$name" "$r"
done

# The claim of a prefix waits for that prefix's own lock, however the run
# came to it: named, from a build folder other than the holder's, or as its
# build's first prefix. A server is up for each prefix, so that each start
# ends at the claim: the build's prefix is taken with its left-over server;
# the named one, which the test bed made, is another run's, and is refused
# as that run's once the lock is free.
# name | prefix | named by the run | the run's build folder | its holder | what the run ends with
lock_cases=(
  "named_claim_takes_the_prefixs_own_lock|$work/locked|yes|$work/lock-build|$holder_pid|status 1 $work/locked"
  "build_claim_takes_the_prefixs_own_lock|$work/locked-build/wineprefix|no|$work/locked-build||status 0 $work/locked-build/wineprefix"
)
for row in "${lock_cases[@]}"; do
  IFS='|' read -r name prefix named build holder want <<<"$row"
  mkdir -p "$prefix"
  echo "made by the test bed" >"$prefix/.vorn-wine"
  [ -z "$holder" ] || echo "$holder" >"$prefix/.vorn-owner"
  WINEPREFIX=$prefix wineserver -p >/dev/null 2>&1
  named_prefix=""
  [ "$named" = yes ] && named_prefix=$prefix
  exec 8>"$prefix/.vorn-lock"
  flock 8
  WINEPREFIX=$named_prefix VORN_BUILD=$build timeout 60 bash -c '
    cd "$0" && . scripts/env.sh || exit 9
    vorn_start_wine; echo "status $? $WINEPREFIX"' "$top" >"$work/locked.out" 2>&1 8>&- &
  claimer=$!
  r=ok
  for _ in $(seq 1 200); do
    grep -q "waiting for the Wine prefix" "$work/locked.out" && break
    kill -0 "$claimer" 2>/dev/null || break
    sleep 0.05
  done
  grep -q "waiting for the Wine prefix $prefix" "$work/locked.out" ||
    r="did not wait for the lock: $(cat "$work/locked.out")"
  [ "$(cat "$prefix/.vorn-owner" 2>/dev/null)" = "$holder" ] ||
    r="marked the prefix while another run held its lock"
  exec 8>&-
  wait "$claimer"
  [ "$r" = ok ] && ! grep -qxF "$want" "$work/locked.out" &&
    r="not \"$want\" after the lock: $(cat "$work/locked.out")"
  check "$name" "$r"
done

# The display with job control on, as the README's benchmark line types it
# in an interactive shell: setsid forks there, so $! is not the server.
# Then two runs that start their displays at the same moment in one build.
# The display's files are its run's own (display-N-PID.*) and are all gone
# after the clean-up, also in a build folder whose path holds a space.
display_run() {  # display_run BUILD GO HOLD: starts a display once the file GO
                 # exists, and keeps it until the file HOLD exists
  VORN_BUILD=$1 timeout 60 bash -c '
    set -m
    cd "$0" && . scripts/env.sh || exit 9
    for _ in $(seq 1 200); do [ -e "$1" ] && break; sleep 0.05; done
    vorn_start_display || exit 1
    pid=$_vorn_display_pid
    echo "display $DISPLAY $pid $(cat /proc/$pid/comm)"
    for _ in $(seq 1 400); do [ -e "$2" ] && break; sleep 0.05; done
    vorn_cleanup
    state=$(sed "s/.*) //; s/ .*//" /proc/$pid/stat 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ] && echo "left running"
    for f in "$VORN_BUILD/display-${DISPLAY#:}-$$".*; do [ -e "$f" ] && echo "left $f"; done
    exit 0' "$top" "$2" "$3"
}
touch "$work/go-now"
out=$(display_run "$work/display one" "$work/go-now" "$work/go-now")
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

# A display server that does not end on TERM gets KILL, and its files go
# only then. The stand-in ignores TERM, as a hung server does.
( setsid sh -c 'trap "" TERM; exec sleep 300' </dev/null >/dev/null 2>&1 &
  echo $! >"$work/stubborn.pid" )
stubborn_pid=$(cat "$work/stubborn.pid")
out=$(VORN_BUILD="$work/stubborn" timeout 60 bash -c '
  cd "$0" && . scripts/env.sh || exit 9
  mkdir -p "$VORN_BUILD"
  _vorn_display_pid=$1
  _vorn_display_files=("$VORN_BUILD/display.log")
  : >"$VORN_BUILD/display.log"
  vorn_cleanup 2>&1
  echo "status $?"' "$top" "$stubborn_pid")
r=ok
running "$stubborn_pid" && r="the display that ignores TERM still runs: $out"
[ -e "$work/stubborn/display.log" ] && r="$r; its files were left"
[ "$r" = ok ] && [ "$out" != "status 0" ] && r="$out"
check display_that_ignores_term_is_killed "$r"

# Each build's Wine road and prefix, also when one shell takes the 64-bit
# build and then the 32-bit one, as the README shows: the 64-bit build goes
# straight to the 64-bit loader; nothing of that reaches the 32-bit build,
# neither its folder nor its prefix, which the second sourcing lets go. The
# 32-bit build chooses among its own prefixes: its first is held by another
# run, so it takes the second. A server is up for each prefix taken, so
# that each start ends at the claim.
export -f running
tree=$work/tree
mkdir -p "$tree/build/wineprefix" "$tree/build-i686/wineprefix" "$tree/build-i686/wineprefix-2"
ln -s "$top/scripts" "$tree/scripts"
echo "$holder_pid" >"$tree/build-i686/wineprefix/.vorn-owner"
WINEPREFIX="$tree/build/wineprefix" wineserver -p >/dev/null 2>&1
WINEPREFIX="$tree/build-i686/wineprefix-2" wineserver -p >/dev/null 2>&1
out=$(cd "$tree" && env -u VORN_ARCH -u VORN_BUILD -u WINELOADER -u VORN_WINE -u WINEPREFIX \
      -u _vorn_chosen_prefix timeout 60 bash -c '
  . scripts/env.sh; vorn_start_wine >/dev/null 2>&1
  echo "x86_64 ${WINELOADER-unset} $VORN_WINE $VORN_BUILD $WINEPREFIX"
  first=$(vorn_wineserver_pid build/wineprefix) || echo "no server for the 64-bit prefix"
  VORN_ARCH=i686; . scripts/env.sh
  echo "i686 ${WINELOADER-unset} $VORN_WINE $VORN_BUILD $WINEPREFIX"
  [ -e build/wineprefix/.vorn-owner ] && echo "let go: the 64-bit prefix is still marked"
  for _ in $(seq 1 100); do
    running "$first" || break
    sleep 0.05
  done
  vorn_wineserver_pid build/wineprefix >/dev/null &&
    echo "let go: the 64-bit prefix'"'"'s server $first still runs"
  vorn_start_wine >/dev/null 2>&1; echo "i686 took $WINEPREFIX"
  vorn_cleanup' 2>&1)
want="x86_64 /usr/lib/wine/wine64 /usr/lib/wine/wine64 $tree/build $tree/build/wineprefix
i686 unset wine $tree/build-i686 $tree/build-i686/wineprefix
i686 took $tree/build-i686/wineprefix-2"
[ "$(grep -v '^let go: ' <<<"$out")" = "$want" ] && r=ok || r=$'\n'"$out"$'\n'"not:"$'\n'"$want"
check each_build_takes_its_own_wine_road_and_prefix "$r"
grep -q '^let go: ' <<<"$out" && r=$(grep '^let go: ' <<<"$out") || r=ok
check second_sourcing_lets_the_first_prefix_go "$r"

# A build folder and a prefix that the caller named stay through both.
out=$(cd "$tree" && env -u VORN_ARCH -u WINELOADER -u VORN_WINE -u _vorn_chosen_prefix \
      VORN_BUILD="$work/mine" WINEPREFIX="$work/my-prefix" bash -c '
  . scripts/env.sh; echo "$VORN_BUILD $WINEPREFIX"
  VORN_ARCH=i686; . scripts/env.sh; echo "$VORN_BUILD $WINEPREFIX"')
want="$work/mine $work/my-prefix
$work/mine $work/my-prefix"
[ "$out" = "$want" ] && r=ok || r="$out"
check named_build_and_prefix_stay "$r"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
