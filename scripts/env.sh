# Sourced by the run and test scripts: a private Wine prefix and the phone's
# display, an X server of its own whose screen turns between 480x640 and
# 640x480 (scripts/phone-display.conf). Both are stopped again on exit, also
# on failure. The X server needs root, as set-up does.
#
# VORN_ARCH picks the build: x86_64 (the default, in build/) or i686, the
# phone's 32-bit word size (in build-i686/, with a 32-bit Wine prefix).

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
export WINEPREFIX=${WINEPREFIX:-$VORN_BUILD/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

_vorn_display_pid=""
vorn_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$_vorn_display_pid" ]; then
    kill "$_vorn_display_pid" >/dev/null 2>&1 || true
    wait "$_vorn_display_pid" 2>/dev/null || true
    _vorn_display_pid=""
  fi
}

# Starts the phone's display and points DISPLAY at it. A display set by the
# caller is not used: a turn of the phone switches the screen's mode, and
# that must never be the user's own screen.
vorn_start_display() {
  if [ -n "$_vorn_display_pid" ] && kill -0 "$_vorn_display_pid" 2>/dev/null; then
    return 0
  fi
  local n=90 log="$VORN_BUILD/display.log" conf="$PWD/scripts/phone-display.conf"
  mkdir -p "$VORN_BUILD"
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  setsid Xorg ":$n" -config "$conf" -noreset -nolisten tcp -logfile "$log" \
    -novtswitch -sharevts </dev/null >/dev/null 2>&1 &
  _vorn_display_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 200); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    kill -0 "$_vorn_display_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "env: the phone's display (Xorg) did not start on :$n; its log is $log" >&2
  kill "$_vorn_display_pid" >/dev/null 2>&1 || true
  _vorn_display_pid=""
  return 1
}

vorn_start_wine() {
  # A prefix made before the 32-bit loader was installed (or removed) starts
  # no program at all: make it again for the Wine packages installed now.
  local wine_packages
  wine_packages=$(dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' \
                  wine wine64 wine32:i386 2>/dev/null || true)
  if [ "$(cat "$WINEPREFIX/.vorn-wine" 2>/dev/null)" != "$wine_packages" ]; then
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
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
  # The toolchain counts only when the build folder is made; naming it again
  # would only draw a warning.
  local toolchain=()
  [ -f "$VORN_BUILD/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$VORN_TOOLCHAIN")
  cmake -S . -B "$VORN_BUILD" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$VORN_BUILD" -j "$(nproc)"
}
