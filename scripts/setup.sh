#!/usr/bin/env bash
# Installs what building, running and testing the emulated phone needs, on
# Debian, and makes sure it is really there afterwards.
#
#   bash scripts/setup.sh          install the packages of missing commands
#   bash scripts/setup.sh --check  check that each row's package provides its command
set -euo pipefail

# What the scripts call, and the Debian package that provides it. A command
# is looked up on the PATH; a path names a file. The 32-bit builds run
# under the i386 loader, which comes from the i386 architecture; its X
# libraries for mode switches are only recommended by it, so named here.
# The phone's program is compiled by the ELF compiler for ARM and assembled
# and linked by GNU binutils for the phone's target, which no package
# provides: scripts/phone-tools.sh builds them once per machine from the
# binutils source, with bison, flex and m4 (the source lacks generated
# parsers). clang only gives the phone's record layouts for comparison.
vorn_needs() {
  cat <<'EOF'
x86_64-w64-mingw32-gcc-posix     gcc-mingw-w64-x86-64-posix
x86_64-w64-mingw32-g++-posix     g++-mingw-w64-x86-64-posix
x86_64-w64-mingw32-windres       binutils-mingw-w64-x86-64
x86_64-w64-mingw32-nm            binutils-mingw-w64-x86-64
x86_64-w64-mingw32-objdump       binutils-mingw-w64-x86-64
x86_64-w64-mingw32-strip         binutils-mingw-w64-x86-64
i686-w64-mingw32-gcc-posix       gcc-mingw-w64-i686-posix
i686-w64-mingw32-g++-posix       g++-mingw-w64-i686-posix
i686-w64-mingw32-windres         binutils-mingw-w64-i686
i686-w64-mingw32-nm              binutils-mingw-w64-i686
i686-w64-mingw32-objdump         binutils-mingw-w64-i686
i686-w64-mingw32-strip           binutils-mingw-w64-i686
i686-w64-mingw32-dlltool         binutils-mingw-w64-i686
wine                             wine
wineboot                         wine
wineserver                       wine
/usr/lib/wine/wine64             wine64
/usr/lib/wine/wine               wine32:i386
Xorg                             xserver-xorg-core
/usr/lib/xorg/modules/drivers/dummy_drv.so xserver-xorg-video-dummy
/usr/lib/i386-linux-gnu/libXrandr.so.2 libxrandr2:i386
/usr/lib/i386-linux-gnu/libXrender.so.1 libxrender1:i386
cmake                            cmake
gcab                             gcab
clang++                          clang
arm-none-eabi-g++                gcc-arm-none-eabi
arm-none-eabi-gcc                gcc-arm-none-eabi
/usr/src/binutils                binutils-source
bison                            bison
flex                             flex
m4                               m4
/usr/src/googletest/CMakeLists.txt googletest
EOF
}

# The file a row names, or nothing when it is missing.
vorn_locate() {
  case "$1" in
    /*) [ -e "$1" ] && printf '%s\n' "$1" ;;
    *) command -v "$1" 2>/dev/null ;;
  esac
  return 0
}

# One set-up at a time on the machine: two runs started together would
# otherwise both install, and collide on apt's lock.
vorn_setup_lock=/tmp/vorn-setup.lock

vorn_install() {
  exec 9>"$vorn_setup_lock"
  if ! flock -n 9; then
    echo "setup: waiting for another run's set-up to finish ($vorn_setup_lock)"
    flock 9
  fi
  local need=() cmd pkg
  while read -r cmd pkg; do
    [ -n "$(vorn_locate "$cmd")" ] && continue
    case " ${need[*]-} " in *" $pkg "*) ;; *) need+=("$pkg") ;; esac
  done < <(vorn_needs)

  if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    local log started=$SECONDS
    log=$(mktemp)
    if ! {
      case " ${need[*]} " in
        *":i386 "*) dpkg --print-foreign-architectures | grep -qx i386 ||
                      dpkg --add-architecture i386 ;;
      esac
      # apt's own lock may be held by something else for a while: wait. No
      # service that a package starts keeps the set-up lock.
      apt-get update -qq -o DPkg::Lock::Timeout=600 9>&- &&
      apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends \
        "${need[@]}" 9>&-
    } >"$log" 2>&1; then
      tail -n 20 "$log" >&2
      rm -f "$log"
      echo "setup: apt-get could not install ${need[*]}" >&2
      exit 1
    fi
    rm -f "$log"
    echo "setup: installed in $((SECONDS - started)) s"
  fi

  # Check every row again: a wrong row must stop here, not in a build that
  # fails later with a puzzling message.
  local missing=0
  while read -r cmd pkg; do
    if [ -z "$(vorn_locate "$cmd")" ]; then
      echo "setup: '$cmd' is still missing after installing the package '$pkg'" >&2
      missing=1
    fi
  done < <(vorn_needs)
  [ "$missing" = 0 ] || exit 1

  # The phone's assembler and linker: built once per machine, outside the
  # clone, under a lock of their own.
  bash "$(dirname "${BASH_SOURCE[0]}")/phone-tools.sh" || exit 1
}

# Package name without its architecture.
vorn_bare() { printf '%s\n' "${1%%:*}"; }

# Checks that each row's command is a file owned by the row's package or by
# one it depends on, directly or further down.
vorn_check() {
  declare -A deps=()
  local name line
  while IFS=$'\t' read -r name line; do
    deps[$name]="${deps[$name]-}, $line"
  done < <(dpkg-query -W -f='${Package}\t${Depends}, ${Pre-Depends}\n' 2>/dev/null)

  local cmd pkg file real owners failed=0 checked=0
  while read -r cmd pkg; do
    file=$(vorn_locate "$cmd")
    if [ -z "$file" ]; then
      echo "FAIL $cmd: not found (package $pkg)"
      failed=$((failed + 1))
      continue
    fi
    real=$(readlink -f "$file")
    owners=$(dpkg -S "$real" 2>/dev/null || dpkg -S "$file" 2>/dev/null || true)
    owners=${owners%%: /*}
    if [ -z "$owners" ]; then
      echo "skip $cmd: $real is not installed by a package"
      continue
    fi
    checked=$((checked + 1))

    # Walk the named package's dependencies until an owner turns up.
    local -A seen=()
    local queue=("$(vorn_bare "$pkg")") found="" p owner alt
    while [ ${#queue[@]} -gt 0 ] && [ -z "$found" ]; do
      p=${queue[0]}
      queue=("${queue[@]:1}")
      [ -n "${seen[$p]-}" ] && continue
      seen[$p]=1
      for owner in ${owners//,/ }; do
        [ "$(vorn_bare "$owner")" = "$p" ] && found=$p
      done
      IFS=',|' read -r -a alt <<<"${deps[$p]-}"
      for line in "${alt[@]}"; do
        line=${line#"${line%%[![:space:]]*}"}
        line=$(vorn_bare "${line%% *}")
        [ -n "$line" ] && queue+=("$line")
      done
    done
    unset seen
    if [ -n "$found" ]; then
      echo "ok   $cmd: $real from $found"
    else
      echo "FAIL $cmd: $real comes from $owners, which the package $pkg does not bring"
      failed=$((failed + 1))
    fi
  done < <(vorn_needs)
  echo "setup table: $checked rows checked, $failed wrong"

  # The phone's tools, which no package provides: whole and of this source.
  local why
  if why=$(bash "$(dirname "${BASH_SOURCE[0]}")/phone-tools.sh" --check 2>&1); then
    echo "ok   phone tools: $why"
  else
    echo "FAIL phone tools: $why"
    failed=$((failed + 1))
  fi
  [ "$failed" = 0 ]
}

case "${1-}" in
  --check) vorn_check ;;
  "") vorn_install ;;
  *) echo "usage: bash scripts/setup.sh [--check]" >&2; exit 2 ;;
esac
