#!/usr/bin/env bash
# Checks that a program imports no DLL but the system's and the phone's
# stand-ins: everything else is linked in.
#   imports.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1 program=$2
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll ole32.dll shell32.dll aygshell.dll "
dlls=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no imports read from $program"; exit 1; }
status=0
for dll in $dlls; do
  case "$allowed" in
    *" $dll "*) echo "ok   $dll" ;;
    *) echo "FAIL $dll: not a system DLL nor a stand-in"; status=1 ;;
  esac
done
exit "$status"
