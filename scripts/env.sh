# Sourced by the run and test scripts: a private Wine prefix and, when no
# display is set, an Xvfb screen the size of the phone's portrait screen.
# Both are stopped again on exit, also on failure.

VORN_BUILD=${VORN_BUILD:-$PWD/build}
export WINEPREFIX=${WINEPREFIX:-$VORN_BUILD/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

_vorn_xvfb_pid=""
vorn_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$_vorn_xvfb_pid" ]; then
    kill "$_vorn_xvfb_pid" >/dev/null 2>&1 || true
    wait "$_vorn_xvfb_pid" 2>/dev/null || true
  fi
}

vorn_start_display() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  setsid Xvfb ":$n" -screen 0 480x640x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  _vorn_xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    sleep 0.1
  done
  echo "env: Xvfb did not start on :$n" >&2
  return 1
}

vorn_start_wine() {
  mkdir -p "$WINEPREFIX"
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
  cmake -S . -B "$VORN_BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$VORN_BUILD" -j "$(nproc)"
}
