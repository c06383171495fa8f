#!/usr/bin/env bash
# Builds the assembler, linker, dlltool, windres and objdump for the phone
# (GNU binutils for the target arm-mingw32ce) from Debian's binutils-source,
# once per machine, into a folder outside the clone, so that every clone on
# the machine, CI's among them, reuses it. Called by scripts/setup.sh once
# the packages are in; prints the tools' folder on its last line.
#
#   bash scripts/phone-tools.sh          build unless a whole build is there
#   bash scripts/phone-tools.sh --check  say whether a whole build is there
#   bash scripts/phone-tools.sh --dir    only print the folder
#
# VORN_PHONE_TOOLS names the folder (default /opt/vorn-phone-tools).
set -euo pipefail

dir=${VORN_PHONE_TOOLS:-/opt/vorn-phone-tools}
target=arm-mingw32ce
if [ "${1-}" = --dir ]; then
  echo "$dir"
  exit 0
fi

tarball=$(ls /usr/src/binutils/binutils-*.tar.* 2>/dev/null | head -n 1)
if [ -z "$tarball" ]; then
  echo "phone-tools: no binutils source in /usr/src/binutils (package binutils-source)" >&2
  exit 1
fi
version=$(dpkg-query -W -f='${Version}' binutils-source)
# Only the binutils: no debugger, simulators or plugins, whose extra
# libraries the phone's tools do not need.
configure=(--target=$target --prefix="$dir" --disable-nls --disable-werror
           --disable-gdb --disable-gdbserver --disable-gprofng --disable-sim
           --disable-gold --disable-plugins --without-zstd --disable-libdecnumber
           --disable-readline)
stamp="binutils-source $version; configure ${configure[*]}"

# The stamp is written last, after every tool is in place: a build that was
# interrupted leaves no stamp, and is done again.
whole() {
  [ "$(cat "$dir/.vorn-stamp" 2>/dev/null)" = "$stamp" ] || return 1
  local tool
  for tool in as ld dlltool windres objdump; do
    [ -x "$dir/bin/$target-$tool" ] || return 1
  done
}

if [ "${1-}" = --check ]; then
  if whole; then
    echo "$dir, built from binutils-source $version"
    exit 0
  fi
  echo "$dir holds no whole build from binutils-source $version (bash scripts/setup.sh builds it)"
  exit 1
fi

exec 8>/tmp/vorn-phone-tools.lock
if ! flock -n 8; then
  echo "phone-tools: waiting for another run's build of the phone's tools (/tmp/vorn-phone-tools.lock)"
  flock 8
fi
if whole; then
  exit 0
fi

# Only a folder that this script made, or an empty one, is emptied: the
# folder may be named by the caller.
if [ -n "$(ls -A "$dir" 2>/dev/null)" ] && [ ! -e "$dir/.vorn-stamp" ] && [ ! -e "$dir/.vorn-partial" ]; then
  echo "phone-tools: $dir holds files that no build of the phone's tools put there;" \
       "name a new or empty folder in VORN_PHONE_TOOLS" >&2
  exit 1
fi

echo "setup: building the phone's assembler and linker (binutils $version for $target, about 4 to 7 min, once per machine)"
started=$SECONDS
work=$(mktemp -d /tmp/vorn-phone-tools.XXXXXX)
trap 'rm -rf "$work"' EXIT
log=$work/build.log
if ! {
  rm -rf "$dir" &&
  mkdir -p "$dir" &&
  : >"$dir/.vorn-partial" &&
  tar -xf "$tarball" -C "$work" &&
  mkdir "$work/build" &&
  cd "$work/build" &&
  "$work"/binutils-*/configure "${configure[@]}" &&
  make -j "$(nproc)" &&
  make install
} >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "phone-tools: the build of binutils for $target failed" >&2
  exit 1
fi
rm -f "$dir/.vorn-partial"
printf '%s' "$stamp" >"$dir/.vorn-stamp"
echo "setup: built the phone's tools in $((SECONDS - started)) s ($dir)"
