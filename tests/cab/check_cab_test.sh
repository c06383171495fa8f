#!/usr/bin/env bash
# The CAB check passes the good CAB and fails each faulty copy, naming its
# fault:
#
#   bash tests/cab/check_cab_test.sh CHECK GOOD.cab FAULTY-DIR
set -uo pipefail
check=$1
good=$2
faulty=$3
status=0

if out=$(python3 "$check" "$good" 2>&1); then
  echo "ok   the check passes $good"
else
  echo "FAIL the check fails the good CAB $good:"
  printf '%s\n' "$out" | grep -v '^ok'
  status=1
fi

# CAB and the line the check must print for it.
while IFS='|' read -r cab line; do
  out=$(python3 "$check" "$faulty/$cab.cab" 2>&1)
  code=$?
  if [ "$code" = 1 ] && grep -qF -- "FAIL $line" <<<"$out"; then
    echo "ok   $cab.cab fails: FAIL $line"
  else
    echo "FAIL $cab.cab: the check gave $code without \"FAIL $line\":"
    printf '%s\n' "$out" | sed 's/^/       /'
    status=1
  fi
done <<'TABLE'
wrong_count|NumFiles says 2, the document lists 1
missing_file|the CAB holds exactly the files the document names
extra_file|the CAB holds exactly the files the document names
not_well_formed|_setup.xml is well-formed XML
not_understood|the document holds only Install and FileOperation steps
fixed_path|the path \Program Files\Vorn starts with a folder macro
shortcut_elsewhere|%CE11%\Vorn.lnk starts %CE2%\vorn.exe, a file the document installs
TABLE
exit "$status"
