# Sourced by the run and test scripts: a private Wine prefix and the phone's
# display, an X server of its own whose screen turns between 480x640 and
# 640x480 (scripts/phone-display.conf). Both are stopped again on exit, also
# on failure. The X server needs root, as set-up does.
#
# VORN_ARCH picks the build: x86_64 (the default, in build/) or i686, the
# phone's 32-bit word size (in build-i686/, with a 32-bit Wine prefix).
#
# VORN_WINE is the build's Wine command: every Windows program of a build,
# prefix creation and reg included, is started through it. The 64-bit build
# goes straight to the 64-bit loader: Debian's wine script takes the 32-bit
# one whenever it is installed, even for a 64-bit prefix, and some machines
# run no 32-bit x86 program at all. The 32-bit build keeps Debian's road.
#
# Runs may go on side by side (the run command beside the test command):
# each takes a display and a Wine prefix of its own, and builds one at a
# time. A prefix belongs to the run whose pid its .vorn-owner file names,
# for as long as that run goes on.
#
# Sourced again in the same shell (the 64-bit build, then the 32-bit one),
# it takes the new build whole: the build folder and the prefix that the
# first sourcing chose go, and so does its claim on that prefix. Only a
# folder or a prefix that the caller named stays. The display serves either
# build and stays.

case "${VORN_ARCH:=x86_64}" in
  x86_64|i686) ;;
  *) echo "env: VORN_ARCH is x86_64 or i686, not '$VORN_ARCH'" >&2; return 1 ;;
esac
if [ -n "${_vorn_chosen_build:-}" ] && [ "${VORN_BUILD:-}" = "$_vorn_chosen_build" ]; then
  unset VORN_BUILD
fi
if [ -n "${_vorn_chosen_prefix:-}" ] && [ "${WINEPREFIX:-}" = "$_vorn_chosen_prefix" ]; then
  unset WINEPREFIX
fi
if [ "${_vorn_shell:-}" = "$BASHPID" ] && declare -F _vorn_release_prefix >/dev/null; then
  _vorn_release_prefix
else
  # A shell of its own (a subshell of a run included) owns nothing yet.
  _vorn_display_pid=""
  _vorn_display_files=()
  _vorn_claimed_prefix=""
  _vorn_claim_run=""
fi
_vorn_shell=$BASHPID

case "$VORN_ARCH" in
  x86_64) _vorn_chosen_build=$PWD/build
          VORN_TOOLCHAIN=cmake/mingw-w64.cmake
          export WINEARCH=win64
          export WINELOADER=/usr/lib/wine/wine64
          export VORN_WINE=$WINELOADER ;;
  i686)   _vorn_chosen_build=$PWD/build-i686
          VORN_TOOLCHAIN=cmake/mingw-w64-i686.cmake
          export WINEARCH=win32
          # Nothing of the 64-bit road may reach a 32-bit prefix.
          unset WINELOADER
          export VORN_WINE=wine ;;
esac
if [ -n "${VORN_BUILD:-}" ]; then
  _vorn_chosen_build=""
else
  VORN_BUILD=$_vorn_chosen_build
fi
# A prefix named by the caller is used only when the test bed made it or it
# is a new or empty folder (vorn_check_prefix); otherwise vorn_start_wine
# takes the build's first prefix that no other run holds. The prefix chosen
# here is known as such by the programs that this shell starts, too: one
# that sources this file again chooses its own.
if [ -n "${WINEPREFIX:-}" ]; then
  _vorn_prefix_named=1
  export _vorn_chosen_prefix=""
else
  _vorn_prefix_named=""
  export WINEPREFIX=$VORN_BUILD/wineprefix
  export _vorn_chosen_prefix=$WINEPREFIX
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Ends only what this run started: the server of a prefix that it claimed
# itself and that is still its own, and its own display. A prefix that
# another run holds (a claim that was refused, a start that failed before
# its claim, or a prefix taken over since) is never touched.
vorn_cleanup() {
  _vorn_release_prefix
  if [ -n "$_vorn_display_pid" ]; then
    vorn_stop_process "$_vorn_display_pid" || true
    rm -f "${_vorn_display_files[@]}"
    _vorn_display_pid=""
    _vorn_display_files=()
  fi
}

# Lets go of the prefix that this run claimed: its Wine server ends and its
# owner mark goes, but only while the mark still names this run.
_vorn_release_prefix() {
  [ -n "$_vorn_claimed_prefix" ] || return 0
  if [ "$(cat "$_vorn_claimed_prefix/.vorn-owner" 2>/dev/null)" = "$_vorn_claim_run" ]; then
    WINEPREFIX=$_vorn_claimed_prefix wineserver -k >/dev/null 2>&1 || true
    rm -f "$_vorn_claimed_prefix/.vorn-owner"
  fi
  _vorn_claimed_prefix=""
}

# Whether a process runs: a zombie that its parent has not reaped yet has
# ended.
_vorn_running() {
  local stat
  { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

# Ends a process that need not be this shell's child, and waits (bounded)
# until it is gone. One that is still there 5 s after TERM gets KILL.
vorn_stop_process() {
  local signal
  for signal in TERM KILL; do
    kill -s "$signal" "$1" >/dev/null 2>&1 || return 0
    for _ in $(seq 1 100); do
      if ! _vorn_running "$1"; then
        wait "$1" 2>/dev/null || true
        return 0
      fi
      sleep 0.05
    done
  done
  echo "env: process $1 did not end, even on KILL" >&2
  return 1
}

# vorn_locked FILE WHAT COMMAND...: runs COMMAND holding the lock FILE,
# saying what it waits for when another run holds it.
vorn_locked() {
  local file=$1 what=$2
  shift 2
  (
    exec 9>"$file"
    if ! flock -n 9; then
      echo "env: waiting for $what: another run holds $file" >&2
      flock 9
    fi
    "$@" 9>&-
  )
}

# The pid of the X server started with LOG as its log file, when one runs.
vorn_display_server() {
  local p
  for p in /proc/[0-9]*; do
    case "$(cat "$p/comm" 2>/dev/null)" in Xorg) ;; *) continue ;; esac
    if tr '\0' '\n' <"$p/cmdline" 2>/dev/null | grep -qxF -- "$1"; then
      echo "${p#/proc/}"
      return 0
    fi
  done
  return 1
}

# Starts the phone's display and points DISPLAY at it. A display set by the
# caller is not used: a turn of the phone switches the screen's mode, and
# that must never be the user's own screen. Two runs that start at the same
# moment may pick the same number: the X server's own lock decides, and the
# one that lost tries the next number.
#
# Each attempt has a log and an output file of its own, so that no server
# renames or overwrites another's. The server is known by its lock file and
# by the log its command line names, never by $!: with job control on (an
# interactive shell), setsid forks and $! is not the server.
vorn_start_display() {
  if [ -n "$_vorn_display_pid" ] && kill -0 "$_vorn_display_pid" 2>/dev/null; then
    return 0
  fi
  local n=90 tries log out pid conf="$PWD/scripts/phone-display.conf"
  mkdir -p "$VORN_BUILD"
  for tries in $(seq 1 10); do
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    log="$VORN_BUILD/display-$n-$BASHPID.log"
    out="$VORN_BUILD/display-$n-$BASHPID.out"
    rm -f "$log" "$log.old" "$out"
    ( setsid Xorg ":$n" -config "$conf" -noreset -nolisten tcp -logfile "$log" \
        -novtswitch -sharevts </dev/null >"$out" 2>&1 & )
    for _ in $(seq 1 200); do
      pid=$(vorn_display_server "$log") &&
        [ -e "/tmp/.X11-unix/X$n" ] &&
        [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$pid" ] && {
          _vorn_display_pid=$pid
          _vorn_display_files=("$log" "$log.old" "$out")
          export DISPLAY=":$n"
          return 0
        }
      grep -q "Fatal server error" "$out" 2>/dev/null && break
      sleep 0.05
    done
    pid=$(vorn_display_server "$log") && vorn_stop_process "$pid"
    # Only a lost race for the number is tried again, on the next one.
    grep -q "already active" "$out" 2>/dev/null || break
    rm -f "$log" "$log.old" "$out"
    n=$((n + 1))
  done
  echo "env: the phone's display (Xorg) did not start on :$n; its log is $log, its output $out" >&2
  return 1
}

# The pid of the Wine server of a prefix, when one runs. A server works in
# a folder named after the prefix's device and inode numbers.
vorn_wineserver_pid() {
  local ids dir p comm
  ids=$(stat -c '%d %i' "$1" 2>/dev/null) || return 1
  dir=$(printf 'server-%x-%x' $ids)
  for p in /proc/[0-9]*; do
    # Read without a process of its own for each: the look is made under
    # a prefix's lock, on a busy machine.
    { read -r comm <"$p/comm"; } 2>/dev/null || continue
    case "$comm" in wineserver*) ;; *) continue ;; esac
    if [ "$(basename "$(readlink "$p/cwd" 2>/dev/null)")" = "$dir" ]; then
      echo "${p#/proc/}"
      return 0
    fi
  done
  return 1
}

# vorn_prefix_holder PREFIX RUN: the run that holds PREFIX, when it is not
# RUN and still goes on.
vorn_prefix_holder() {
  local owner
  owner=$(cat "$1/.vorn-owner" 2>/dev/null) || return 1
  [ -n "$owner" ] && [ "$owner" != "$2" ] && kill -0 "$owner" 2>/dev/null &&
    echo "$owner"
}

# vorn_claim_prefix RUN PREFIX...: takes the first PREFIX that no other run
# holds, and marks it as RUN's. Each prefix is looked at under a lock of its
# own (.vorn-lock inside it), so that the check and the mark are one step
# for every run that may take it, whether it names the prefix or takes it as
# one of a build's. Returns 1 when another run holds the last one, 2 when a
# Wine server that this run did not start runs for a prefix the caller named.
vorn_claim_prefix() {
  local run=$1 prefix status=1
  shift
  for prefix in "$@"; do
    mkdir -p "$prefix" || return 1
    vorn_locked "$prefix/.vorn-lock" "the Wine prefix $prefix" \
      _vorn_mark_prefix "$run" "$prefix" && { echo "$prefix"; return 0; }
    status=$?
  done
  return "$status"
}

# _vorn_mark_prefix RUN PREFIX: marks PREFIX as RUN's, unless another run
# holds it or, for a prefix the caller named, a Wine server runs for it: a
# server that a run has not started yet is not the run's to adopt or end.
_vorn_mark_prefix() {
  vorn_prefix_holder "$2" "$1" >/dev/null && return 1
  [ -n "$_vorn_prefix_named" ] && vorn_wineserver_pid "$2" >/dev/null && return 2
  echo "$1" >"$2/.vorn-owner"
}

# Whether the caller's prefix (WINEPREFIX) may be used, and, when it may not,
# a line that says why and how to go on. Only reads: a prefix that the test
# bed did not make (no .vorn-wine mark) and that holds anything but the test
# bed's own lock and owner mark is someone's own, and so is the Wine server
# of a named prefix that this run did not start. A missing or empty folder
# is made into a prefix. A prefix of the build's own passes.
vorn_check_prefix() {
  [ -n "$_vorn_prefix_named" ] || return 0
  [ "$_vorn_claimed_prefix" = "$WINEPREFIX" ] && [ "$_vorn_claim_run" = "$BASHPID" ] && return 0
  local found server
  if [ ! -e "$WINEPREFIX/.vorn-wine" ] && [ -e "$WINEPREFIX" ]; then
    if [ ! -d "$WINEPREFIX" ]; then
      _vorn_refuse_prefix "WINEPREFIX names $WINEPREFIX, which is no folder"
      return 1
    fi
    if ! found=$(find -H "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name .vorn-owner \
                   ! -name .vorn-lock -print -quit 2>&1) || [ -n "$found" ]; then
      _vorn_refuse_prefix "the Wine prefix $WINEPREFIX, named in WINEPREFIX, holds files that the test bed did not make; it is left as it is"
      return 1
    fi
  fi
  # The server of a prefix that another run holds is that run's: the claim
  # says so.
  if ! vorn_prefix_holder "$WINEPREFIX" "$BASHPID" >/dev/null &&
     server=$(vorn_wineserver_pid "$WINEPREFIX"); then
    _vorn_refuse_server "$server"
    return 1
  fi
}

# The line that stops a run at the caller's prefix: why, and how to go on.
_vorn_refuse_prefix() {
  echo "env: $1: unset WINEPREFIX to use the build's own prefix, or name a new or empty folder" >&2
}

_vorn_refuse_server() {
  _vorn_refuse_prefix "a Wine server that this run did not start (pid $1) runs for the Wine prefix $WINEPREFIX, named in WINEPREFIX; it is left running"
}

vorn_start_wine() {
  local holder prefix run=$BASHPID candidates=() status=0
  if [ "$_vorn_claimed_prefix" = "$WINEPREFIX" ] && [ "$_vorn_claim_run" = "$run" ]; then
    :   # claimed already, by this run
  else
    if [ -n "$_vorn_prefix_named" ]; then
      vorn_check_prefix || return 1
      candidates=("$WINEPREFIX")
    else
      for prefix in "" -2 -3 -4 -5 -6 -7 -8; do candidates+=("$VORN_BUILD/wineprefix$prefix"); done
    fi
    prefix=$(vorn_claim_prefix "$run" "${candidates[@]}") || status=$?
    if [ "$status" != 0 ]; then
      if [ -n "$_vorn_prefix_named" ] && [ "$status" = 2 ]; then
        _vorn_refuse_server "$(vorn_wineserver_pid "$WINEPREFIX")"
      elif [ -n "$_vorn_prefix_named" ]; then
        holder=$(vorn_prefix_holder "$WINEPREFIX" "$run")
        echo "env: the Wine prefix $WINEPREFIX is in use by another run (pid $holder)" >&2
      else
        echo "env: every Wine prefix of $VORN_BUILD is in use by another run" >&2
      fi
      return 1
    fi
    export WINEPREFIX=$prefix
    [ -n "$_vorn_prefix_named" ] || export _vorn_chosen_prefix=$prefix
    _vorn_claimed_prefix=$prefix
    _vorn_claim_run=$run
  fi
  # A server already up for the prefix was left by an earlier run (or by
  # this one): it serves. Waiting for it to end would wait for good. (For a
  # prefix the caller named, only a server of this run gets here.)
  if vorn_wineserver_pid "$WINEPREFIX" >/dev/null; then
    return 0
  fi

  # A prefix made before the 32-bit loader was installed (or removed) starts
  # no program at all: make it again for the Wine packages installed now.
  # (A prefix the caller named is one the test bed made, or empty.)
  local wine_packages
  wine_packages=$(dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' \
                  wine wine64 wine32:i386 2>/dev/null || true)
  if [ "$(cat "$WINEPREFIX/.vorn-wine" 2>/dev/null)" != "$wine_packages" ]; then
    find "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name .vorn-owner ! -name .vorn-lock -exec rm -rf {} +
  fi
  printf '%s' "$wine_packages" > "$WINEPREFIX/.vorn-wine"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$VORN_WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  wineserver -w >/dev/null 2>&1 || true
  # No window manager runs here: windows that Wine leaves unmanaged close at
  # once instead of waiting for one.
  if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$VORN_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  # Keep one server and the prefix's services up for the whole run, started
  # here with no pipe attached: a service that inherited a test runner's
  # output pipe would keep it open.
  wineserver -p >/dev/null 2>&1 || true
  setsid "$VORN_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

vorn_build() {
  mkdir -p "$VORN_BUILD"
  vorn_locked "$VORN_BUILD/.build.lock" "the build in $VORN_BUILD" _vorn_build
}

_vorn_build() {
  # The toolchain counts only when the build folder is made; naming it again
  # would only draw a warning.
  local toolchain=()
  [ -f "$VORN_BUILD/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$VORN_TOOLCHAIN")
  cmake -S . -B "$VORN_BUILD" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build "$VORN_BUILD" -j "$(nproc)"
}
