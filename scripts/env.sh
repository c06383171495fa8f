# Sourced by the run and test scripts: a private Wine prefix and, when no
# display is set, an Xvfb screen the size of the phone's portrait screen.
# Both are stopped again on exit, also on failure.
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
