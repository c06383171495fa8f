# Sourced by the run and test scripts: a private Wine prefix and the phone's
# display, an X server of its own whose screen turns between 480x640 and
# 640x480 (scripts/phone-display.conf). Both are stopped again on exit, also
# on failure. The X server needs root, as set-up does.
#
# VORN_ARCH picks the build: x86_64 (the default, in build/) or i686, the
# phone's 32-bit word size (in build-i686/, with a 32-bit Wine prefix).
#
# Runs may go on side by side (the run command beside the test command):
# each takes a display and a Wine prefix of its own, and builds one at a
# time. A prefix belongs to the run whose pid its .vorn-owner file names,
# for as long as that run goes on.

VORN_ARCH=${VORN_ARCH:-x86_64}
case "$VORN_ARCH" in
  x86_64) VORN_BUILD=${VORN_BUILD:-$PWD/build}
          VORN_TOOLCHAIN=cmake/mingw-w64.cmake
          export WINEARCH=win64 ;;
  i686)   VORN_BUILD=${VORN_BUILD:-$PWD/build-i686}
          VORN_TOOLCHAIN=cmake/mingw-w64-i686.cmake
          export WINEARCH=win32 ;;
  *) echo "env: VORN_ARCH is x86_64 or i686, not '$VORN_ARCH'" >&2; return 1 ;;
esac
# A prefix named by the caller is used as it is; otherwise vorn_start_wine
# takes the build's first prefix that no other run holds.
_vorn_prefix_named=${WINEPREFIX:+1}
export WINEPREFIX=${WINEPREFIX:-$VORN_BUILD/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

_vorn_display_pid=""
vorn_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ "$(cat "$WINEPREFIX/.vorn-owner" 2>/dev/null)" = "$BASHPID" ]; then
    rm -f "$WINEPREFIX/.vorn-owner"
  fi
  if [ -n "$_vorn_display_pid" ]; then
    kill "$_vorn_display_pid" >/dev/null 2>&1 || true
    wait "$_vorn_display_pid" 2>/dev/null || true
    _vorn_display_pid=""
  fi
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

# Starts the phone's display and points DISPLAY at it. A display set by the
# caller is not used: a turn of the phone switches the screen's mode, and
# that must never be the user's own screen. Two runs that start at the same
# moment may pick the same number: the X server's own lock decides, and the
# one that lost tries the next number.
vorn_start_display() {
  if [ -n "$_vorn_display_pid" ] && kill -0 "$_vorn_display_pid" 2>/dev/null; then
    return 0
  fi
  local n=90 tries log conf="$PWD/scripts/phone-display.conf"
  mkdir -p "$VORN_BUILD"
  for tries in $(seq 1 10); do
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    log="$VORN_BUILD/display.log"
    setsid Xorg ":$n" -config "$conf" -noreset -nolisten tcp -logfile "$log" \
      -novtswitch -sharevts </dev/null >/dev/null 2>&1 &
    _vorn_display_pid=$!
    for _ in $(seq 1 200); do
      if [ -e "/tmp/.X11-unix/X$n" ] &&
         [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$_vorn_display_pid" ]; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$_vorn_display_pid" 2>/dev/null || break
      sleep 0.05
    done
    kill "$_vorn_display_pid" >/dev/null 2>&1 || true
    wait "$_vorn_display_pid" 2>/dev/null || true
    _vorn_display_pid=""
    grep -q "already active" "$log" 2>/dev/null || break
    n=$((n + 1))
  done
  echo "env: the phone's display (Xorg) did not start on :$n; its log is $log" >&2
  return 1
}

# The pid of the Wine server of a prefix, when one runs. A server works in
# a folder named after the prefix's device and inode numbers.
vorn_wineserver_pid() {
  local ids dir p
  ids=$(stat -c '%d %i' "$1" 2>/dev/null) || return 1
  dir=$(printf 'server-%x-%x' $ids)
  for p in /proc/[0-9]*; do
    case "$(cat "$p/comm" 2>/dev/null)" in wineserver*) ;; *) continue ;; esac
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

# vorn_claim_prefix RUN: takes the build's first prefix that no other run
# holds, and marks it as RUN's.
vorn_claim_prefix() {
  local i prefix
  for i in "" -2 -3 -4 -5 -6 -7 -8; do
    prefix="$VORN_BUILD/wineprefix$i"
    if ! vorn_prefix_holder "$prefix" "$1" >/dev/null; then
      mkdir -p "$prefix"
      echo "$1" >"$prefix/.vorn-owner"
      echo "$prefix"
      return 0
    fi
  done
  return 1
}

vorn_start_wine() {
  local holder prefix run=$BASHPID
  if [ -z "$_vorn_prefix_named" ]; then
    mkdir -p "$VORN_BUILD"
    prefix=$(vorn_locked "$VORN_BUILD/.wineprefix.lock" "a Wine prefix of $VORN_BUILD" \
             vorn_claim_prefix "$run") ||
      { echo "env: every Wine prefix of $VORN_BUILD is in use by another run" >&2; return 1; }
    export WINEPREFIX=$prefix
  elif holder=$(vorn_prefix_holder "$WINEPREFIX" "$run"); then
    echo "env: the Wine prefix $WINEPREFIX is in use by another run (pid $holder)" >&2
    return 1
  else
    mkdir -p "$WINEPREFIX"
    echo "$run" >"$WINEPREFIX/.vorn-owner"
  fi
  # A server already up for the prefix was left by an earlier run (or by
  # this one): it serves. Waiting for it to end would wait for good.
  if vorn_wineserver_pid "$WINEPREFIX" >/dev/null; then
    return 0
  fi

  # A prefix made before the 32-bit loader was installed (or removed) starts
  # no program at all: make it again for the Wine packages installed now.
  local wine_packages
  wine_packages=$(dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' \
                  wine wine64 wine32:i386 2>/dev/null || true)
  if [ "$(cat "$WINEPREFIX/.vorn-wine" 2>/dev/null)" != "$wine_packages" ]; then
    find "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name .vorn-owner -exec rm -rf {} +
  fi
  printf '%s' "$wine_packages" > "$WINEPREFIX/.vorn-wine"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  wineserver -w >/dev/null 2>&1 || true
  # No window manager runs here: windows that Wine leaves unmanaged close at
  # once instead of waiting for one.
  if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  # Keep one server and the prefix's services up for the whole run, started
  # here with no pipe attached: a service that inherited a test runner's
  # output pipe would keep it open.
  wineserver -p >/dev/null 2>&1 || true
  setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
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
