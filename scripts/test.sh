#!/usr/bin/env bash
# Sets up, builds and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/env.sh
trap vorn_cleanup EXIT
vorn_build
vorn_start_display
vorn_start_wine
cd "$VORN_BUILD"
ctest --output-on-failure --timeout 600 "$@"
