#!/usr/bin/env bash
# Makes Vorn's installation CAB for a phone program: the program and the
# provisioning document _setup.xml that tells the phone's installer
# (wceload) what to do with it.
#
#   bash scripts/cab.sh EXE OUT.cab
#
# EXE is any build of the program (the phone's ARM image, or the emulated
# phone's); it goes into the CAB as vorn.001 and is installed as vorn.exe.
# Exit code 0 when OUT.cab was written, 1 when it could not be, 2 on a usage
# error. Needs gcab (bash scripts/setup.sh installs it).
#
# What the document relies on, from Microsoft's pages:
# - "Setup XML in .cab and .cpf Files": a phone CAB carries _setup.xml, a
#   wap-provisioningdoc; the CAB installer hands it to the Configuration
#   Manager, which does every step of the install from it.
# - "Provisioning XML Document for Install Configuration Service Provider":
#   the Install characteristic gives InstallPhase "install", AppName (at most
#   70 characters; Remove Programs lists the program by it), InstallDir, and
#   NumDirs, NumFiles, NumRegKeys, NumRegVals and NumShortcuts: how many
#   folders, files, registry keys and values and shortcuts the rest of the
#   document makes (one per MakeDir, Extract and Shortcut step here).
# - "FileOperation Configuration Service Provider": a characteristic per
#   folder holds MakeDir and a characteristic per file; a file's Extract
#   takes the CAB's file named by its Source parm, a shortcut's Shortcut
#   names the program in its Source parm. translation="install" turns the
#   phone's folder macros (%CE1% and on) into the phone's own folders.
# - "Windows CE Strings (PPC Only)": %CE1% is \Program Files, %CE11% the
#   Start menu's Programs folder (\Windows\Start Menu\Programs).
# - "SHCreateShortcut": a target followed by arguments is put in quotes.
# - "Wceload Tool": the phone's installer of CAB files; tapping a CAB in
#   File Explorer starts it.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: bash scripts/cab.sh EXE OUT.cab" >&2
  exit 2
fi
exe=$1
out=$2
if [ ! -f "$exe" ]; then
  echo "cab: there is no program $exe" >&2
  exit 1
fi
if ! command -v gcab >/dev/null; then
  echo "cab: gcab is missing (bash scripts/setup.sh installs it)" >&2
  exit 1
fi

# The document: the program in \Program Files\Vorn, and two shortcuts in the
# Start menu's Programs: "Vorn" starts it (and can be given to a hardware
# button), "Vorn Settings" opens its editor.
vorn_setup_xml() {
  cat <<'EOF'
<wap-provisioningdoc>
  <characteristic type="Install">
    <parm name="InstallPhase" value="install" />
    <parm name="AppName" value="Vorn" />
    <parm name="InstallDir" value="%CE1%\Vorn" translation="install" />
    <parm name="NumDirs" value="2" />
    <parm name="NumFiles" value="1" />
    <parm name="NumRegKeys" value="0" />
    <parm name="NumRegVals" value="0" />
    <parm name="NumShortcuts" value="2" />
  </characteristic>
  <characteristic type="FileOperation">
    <characteristic type="%CE1%\Vorn" translation="install">
      <characteristic type="MakeDir" />
      <characteristic type="vorn.exe" translation="install">
        <characteristic type="Extract">
          <parm name="Source" value="vorn.001" />
        </characteristic>
      </characteristic>
    </characteristic>
    <characteristic type="%CE11%" translation="install">
      <characteristic type="MakeDir" />
      <characteristic type="Vorn.lnk" translation="install">
        <characteristic type="Shortcut">
          <parm name="Source" value="%CE1%\Vorn\vorn.exe" translation="install" />
        </characteristic>
      </characteristic>
      <characteristic type="Vorn Settings.lnk" translation="install">
        <characteristic type="Shortcut">
          <parm name="Source" value="&quot;%CE1%\Vorn\vorn.exe&quot; #CONFIG" translation="install" />
        </characteristic>
      </characteristic>
    </characteristic>
  </characteristic>
</wap-provisioningdoc>
EOF
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/vorn.001"
vorn_setup_xml | sed 's/$/\r/' > "$stage/_setup.xml"
mkdir -p "$(dirname "$out")"
target=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
# Written beside, then moved: a CAB cut short never takes the old one's place.
if ! (cd "$stage" && gcab -c -z "$target.part" _setup.xml vorn.001); then
  rm -f "$target.part"
  echo "cab: gcab could not write $out" >&2
  exit 1
fi
mv -f "$target.part" "$target"
