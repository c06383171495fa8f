#!/usr/bin/env bash
# Makes faulty copies of an installation CAB, each with one fault, for the
# tests of the CAB check and of the phone's installer:
#
#   bash tests/cab/faulty_cabs.sh GOOD.cab OUTDIR
#
#   wrong_count.cab         NumFiles says 2 where the document lists 1
#   missing_file.cab        the program left out of the CAB
#   extra_file.cab          a file the document does not name added to the CAB
#   not_well_formed.cab     a closing tag of the document left out
#   not_understood.cab      a Delete step, which the installer does not do
#   fixed_path.cab          the program's folder given as \Program Files\Vorn
#   shortcut_elsewhere.cab  the "Vorn" shortcut starting another program
set -euo pipefail
good=$1
out=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/good" "$out"
gcab -x -C "$work/good" "$good"
out=$(cd "$out" && pwd)

# faulty NAME SED-SCRIPT [drop FILE | add FILE]
faulty() {
  local name=$1 script=$2 dir="$work/$1"
  cp -r "$work/good" "$dir"
  sed -i "$script" "$dir/_setup.xml"
  case "${3-}" in
    drop) rm "$dir/$4" ;;
    add) printf 'extra\r\n' > "$dir/$4" ;;
  esac
  grep -q . "$dir/_setup.xml"
  rm -f "$out/$name.cab"
  (cd "$dir" && gcab -c -z "$out/$name.cab" *)
}

faulty wrong_count 's/"NumFiles" value="1"/"NumFiles" value="2"/'
faulty missing_file '' drop vorn.001
faulty extra_file '' add vorn.txt
faulty not_well_formed '0,/<\/characteristic>/{/<\/characteristic>/d}'
faulty not_understood 's/<characteristic type="Extract">/<characteristic type="Delete">/'
faulty fixed_path 's/type="%CE1%\\Vorn" translation="install"/type="\\Program Files\\Vorn" translation="install"/'
faulty shortcut_elsewhere 's/value="%CE1%\\Vorn\\vorn.exe" translation/value="%CE2%\\vorn.exe" translation/'

# Each fault must have taken: a copy equal to the good document is no test.
for cab in wrong_count not_well_formed not_understood fixed_path shortcut_elsewhere; do
  if cmp -s "$work/good/_setup.xml" "$work/$cab/_setup.xml"; then
    echo "faulty_cabs: the fault of $cab.cab did not change the document" >&2
    exit 1
  fi
done
