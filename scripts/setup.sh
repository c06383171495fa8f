#!/usr/bin/env bash
# Installs what building and running the emulated phone needs, on Debian.
set -euo pipefail
need=()
command -v x86_64-w64-mingw32-g++ >/dev/null || need+=(mingw-w64)
command -v wine >/dev/null || need+=(wine64)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v cmake >/dev/null || need+=(cmake)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
