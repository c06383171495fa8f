#!/usr/bin/env bash
# Vorn's main job on the emulated phone: Vorn is installed from its CAB and
# started from its Start menu shortcut, the monitor runs, the phone is
# turned, apps come and go, and this script tells what the phone did. At
# each step it also draws the phone as a person holding it would see it, and
# at the end puts those pictures on one sheet.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/env.sh
trap vorn_cleanup EXIT
vorn_check_prefix   # a caller's prefix that may not be used stops the run before the build
vorn_build >/dev/null
vorn_start_display
vorn_start_wine

phone="$VORN_BUILD/phone"
rm -rf "$phone"
cp -r "$VORN_BUILD/bin" "$phone"
cp "$phone/appwin.exe" "$phone/cprog.exe"   # another program, listed by its file name
export PHONE_CALL_LOG="$phone/calls.log"
: > "$PHONE_CALL_LOG"

# The phone's file system: its root folder "\" is $phone/root. The phone's
# own libraries (the stand-ins here) sit in its \Windows, which its loader
# searches after a program's own folder: here \Windows is on Wine's search
# path. The installer (wceload) finds the root in PHONE_ROOT.
root="$phone/root"
mkdir -p "$root/Windows"
mv "$phone/aygshell.dll" "$phone/HTCSensorSDK.dll" "$root/Windows/"
rm "$phone/vorn.exe"  # the story's program is the one installed from the CAB
export PHONE_ROOT="Z:${root//\//\\}"
export WINEPATH="$PHONE_ROOT\\Windows"

say() { printf '%s\n' "$*"; }
# phone_file PATH: the file on this machine that a phone path names.
phone_file() { printf '%s\n' "$root${1//\\//}"; }
log_count() { grep -c -- "$1" "$PHONE_CALL_LOG" 2>/dev/null || true; }
last_code() { grep "aygshell 298 " "$PHONE_CALL_LOG" | tail -n 1 | sed 's/.*code=//; s/ .*//' | tr -d '\r'; }
last_screen() { grep "aygshell 298 " "$PHONE_CALL_LOG" | tail -n 1 | sed -n 's/.*screen=//p' | tr -d '\r'; }
wait_log() {  # wait_log TEXT COUNT [TRIES]: until the call log holds TEXT COUNT times
  for _ in $(seq 1 "${3:-200}"); do
    [ "$(log_count "$1")" -ge "$2" ] && return 0
    sleep 0.05
  done
  return 1
}
bg() { setsid "$VORN_WINE" "$@" </dev/null >/dev/null 2>&1 & }
winepath_of() { printf 'Z:%s\n' "${1//\//\\}"; }

# start_shortcut LNK: starts what a phone shortcut names, as the phone's
# shell does when its owner taps it. A shortcut is N#"target" arguments, N
# counting the characters after '#'. Leaves "target arguments" in
# shortcut_said.
shortcut_said=""
start_shortcut() {
  local text count body target args
  text=$(cat "$1" 2>/dev/null) || { say "there is no shortcut $1"; return 1; }
  count=${text%%#*}
  body=${text#*#}
  target=${body#\"}
  target=${target%%\"*}
  args=${body#\""$target"\"}
  args=${args# }
  if [ "$count" != "${#body}" ] || [ "${body:0:1}" != '"' ]; then
    say "the shortcut $1 is damaged: $text"
    return 1
  fi
  shortcut_said="$target${args:+ $args}"
  local argv=()
  read -r -a argv <<<"$args"
  bg "$(phone_file "$target")" "${argv[@]}"
}

rotation_name() {
  case "$1" in
    0) echo "portrait" ;;
    1) echo "landscape, turned 90 degrees" ;;
    2) echo "portrait upside down, 180 degrees" ;;
    3) echo "landscape, turned 270 degrees" ;;
    *) echo "unknown" ;;
  esac
}

say "== Vorn on the emulated phone (a 480x640 screen that turns to 640x480; display starts in portrait) =="
say "Installing Vorn from vorn.cab, as the phone's owner does by tapping it (wceload):"
if ! "$VORN_WINE" "$phone/wceload.exe" "$(winepath_of "$VORN_BUILD/vorn.cab")" | tr -d '\r' | sed 's/^/    /'; then
  say "Vorn could not be installed"
  exit 1
fi
vorn_dir=$(phone_file '\Program Files\Vorn')
programs=$(phone_file '\Windows\Start Menu\Programs')
say "Start > Programs now holds: $(cd "$programs" && ls | sed 's/\.lnk$//' | paste -sd, - | sed 's/,/, /g')"
say

printf '%s' '#window(Camera)
#window(cprog.exe)
#landscape(Reader)
#timeout(300)
#onlyfor(0)
#fdscreenoff(2)
#log(1)
' | sed 's/$/\r/' > "$vorn_dir/vorn.txt"

# The phone starts upright, its display in portrait, whatever an earlier run
# left behind.
"$VORN_WINE" "$phone/sensordrv.exe" set 0x10002 >/dev/null
"$VORN_WINE" reg delete 'HKLM\Software\EmulatedPhone\Display' /f /reg:64 >/dev/null 2>&1 || true

frames=()
shot() {  # shot STEP WHAT-VORN-DID [--screen-off]: a picture of the phone now
  local file
  file="$phone/step-$(printf '%02d' "$1").png"
  if "$VORN_WINE" "$phone/phonepic.exe" frame "$file" --step "$1" --did "$2" "${@:3}" >/dev/null 2>&1; then
    frames+=("$file")
  else
    say "  (no picture of step $1)"
  fi
}

say "The owner's configuration, vorn.txt beside the installed program:"
sed 's/\r$//; s/^/    /' "$vorn_dir/vorn.txt"
say

bg "$phone/keywatch.exe"
wait_log "keywatch ready" 1 || true
# The phone's shell publishes the app in front ("Active Application").
bg "$phone/shellfront.exe"
wait_log "shellfront ready" 1 || { say "the shell's publisher did not start"; exit 1; }
start_shortcut "$programs/Vorn.lnk" || exit 1
wait_log "RegistryNotifyWindow armed" 4 || { say "the monitor did not start"; exit 1; }
say "Start > Programs > Vorn starts $shortcut_said (its shortcut says so):"
say "the monitor runs; it listens to the sensor's registry value, to the app in"
say "front, which the phone's shell publishes, and to the phone's call and keyboard."

account_count() { grep -c -- "$1" "$vorn_dir/vorn.log" 2>/dev/null || true; }

app() {  # app EXE TITLE CLASS [turns]: an app comes to the foreground (a running
         # one comes back); with "turns", the front change turns the display
  local before told turned told_windows was
  before=$(log_count "appwin foreground ")
  told=$(log_count "aygshell notify posted text=")
  turned=$(account_count "front change")
  told_windows=$(log_count "aygshell told the windows")
  was=$(last_code || true)
  bg "$phone/$1" "$2" "$3"
  wait_log "appwin foreground " $((before + 1)) || true
  say
  say "App in the foreground: \"$2\" (class $3, program $1)"
  # The shell publishes the change and the monitor is told of it.
  wait_log "aygshell notify posted text=" $((told + 1)) || say "  (the monitor was not told)"
  [ "${4:-}" = turns ] || return 0
  # The front change has been handled once its turn is in the account;
  # until then a turn step would count that turn as its own.
  for _ in $(seq 1 200); do
    [ "$(account_count "front change")" -gt "$turned" ] && break
    sleep 0.05
  done
  local code
  code=$(last_code || true)
  if [ "$code" != "${was:-0}" ]; then
    # A new code: the apps lay themselves out anew before the picture.
    wait_log "aygshell told the windows" $((told_windows + 1)) 40 || true
    say "  phone:  display rotation code $code ($(rotation_name "$code")), screen $(last_screen), with no sensor event"
  else
    say "  phone:  rotation left as it was"
  fi
}

still() {  # still VALUE WORDS: the driver reports a new position in a moment
  local lines before
  lines=$(account_count " | ")
  before=$(log_count "aygshell 298 ")
  say "  sensor: $2 ($1)"
  "$VORN_WINE" "$phone/sensordrv.exe" set "$1" >/dev/null
  # The event is handled once its line is in the account.
  for _ in $(seq 1 200); do
    [ "$(account_count " | ")" -gt "$lines" ] && break
    sleep 0.05
  done
  if [ "$(log_count "aygshell 298 ")" -gt "$before" ]; then
    say "  phone:  display rotation code $(last_code) ($(rotation_name "$(last_code)")), screen $(last_screen)"
  else
    say "  phone:  rotation left as it was, code $(last_code) ($(rotation_name "$(last_code)"))"
  fi
}

moment() {  # moment ARGS...: the phone publishes a call or its keyboard (phonestate);
            # waits until the monitor is told, and for a turn that follows
  local told turned told_windows was
  told=$(log_count "aygshell notify posted=")
  turned=$(log_count "aygshell 298 ")
  told_windows=$(log_count "aygshell told the windows")
  was=$(last_code || true)
  "$VORN_WINE" "$phone/phonestate.exe" "$@" >/dev/null
  wait_log "aygshell notify posted=" $((told + 1)) || say "  (the monitor was not told)"
  # A moment's end turns the display, unless it is where it should be.
  wait_log "aygshell 298 " $((turned + 1)) 20 || true
  local code
  code=$(last_code || true)
  if [ "$code" != "${was:-0}" ]; then
    wait_log "aygshell told the windows" $((told_windows + 1)) 40 || true
    say "  phone:  display rotation code $code ($(rotation_name "$code")), screen $(last_screen)"
  else
    say "  phone:  rotation left as it was"
  fi
}

did=""  # what Vorn did at the last turn, for the picture's caption
turn() {  # turn VALUE WORDS: the driver reports a new position
  local before told was
  before=$(log_count "aygshell 298 ")
  told=$(log_count "aygshell told the windows")
  was=$(last_code || true)
  say "  sensor: $2 ($1)"
  "$VORN_WINE" "$phone/sensordrv.exe" set "$1" >/dev/null
  # The monitor waits #timeout(300) before it reads the position again.
  if wait_log "aygshell 298 " $((before + 1)) 40; then
    local code
    code=$(last_code)
    # A new code: the apps lay themselves out anew before the picture.
    [ "$code" = "${was:-0}" ] || wait_log "aygshell told the windows" $((told + 1)) 40 || true
    say "  phone:  display rotation code $code ($(rotation_name "$code")), screen $(last_screen)"
    did="Vorn turned the display: code $code"
  else
    say "  phone:  rotation left as it was"
    did="Vorn did not turn the display"
  fi
}

app appwin.exe "Inbox" "MailApp"
shot 1 "vorn.cab installed; Start > Vorn"
turn 0x10000 "held on its side"
shot 2 "$did"
turn 0x10001 "held on its other side"
shot 3 "$did"
turn 0x10002 "held upright"
shot 4 "$did"

app cprog.exe "Calculator" "CalcFrame"
say "  (cprog.exe is listed in the configuration: Vorn leaves this app alone)"
turn 0x10000 "held on its side"
shot 5 "Listed app: $did"

app appwin.exe "Notes" "NotesApp" turns
say "  (still on its side: Notes is neither held nor listed, so it comes up turned with the phone)"
shot 6 "No hold: landscape, no sensor event"
turn 0x10003 "held upside down"
shot 7 "$did"

say
say "A quick wobble, played by the driver from a trace: on its side, and upright"
say "again 100 ms later. Each event reads the position after its wait, so the"
say "display never shows the passing sideways position."
printf '0 0x10000\n100 0x10002\n' > "$phone/wobble.trace"
before=$(log_count "aygshell 298 ")
"$VORN_WINE" "$phone/sensordrv.exe" play "$phone/wobble.trace" >/dev/null
if wait_log "aygshell 298 " $((before + 2)) 60; then
  say "  phone:  display rotation codes $(grep "aygshell 298 " "$PHONE_CALL_LOG" | tail -n 2 | sed 's/.*code=//; s/ .*//' | tr -d '\r' | paste -sd, -) ($(rotation_name "$(last_code)")), screen $(last_screen)"
fi
shot 8 "After a wobble: display code $(last_code)"

say
say "A call comes while Notes lies on its side. At the ear the phone moves every"
say "which way: while the call lasts the display keeps its rotation."
turn 0x10000 "held on its side"
say "The phone rings and is answered (phonestate call on)."
moment call on
shot 9 "A call: the display keeps landscape"
still 0x10002 "held upright, at the ear"
shot 10 "In the call: upright, landscape stays"
say "The call ends (phonestate call off): the display follows the phone at once."
moment call off
shot 11 "Call ended: portrait at once"

say
say "The keyboard slides out with the phone upright (phonestate keyboard out): the"
say "phone's shell turns the screen to landscape, and Vorn keeps it so."
moment keyboard out
shot 12 "Keyboard out: the shell's landscape"
still 0x10003 "tipped upside down while typing"
shot 13 "Keyboard out: landscape stays"
still 0x10002 "held upright again"
say "The keyboard slides back in (phonestate keyboard in): the display follows at once."
moment keyboard in
shot 14 "Keyboard in: portrait at once"

say
say "#landscape(Reader) holds Reader in landscape, however the phone is held."
app appwin.exe "Reader" "BookView" turns
shot 15 "#landscape(Reader) holds landscape"
say
say "Reader asks a question in its own message box: the box is Reader's, so the"
say "display keeps Reader's hold."
asked=$(log_count "appwin asks")
lines=$(account_count "front change")
# The app's command 100 opens its box, chosen as the tests choose commands.
"$VORN_WINE" "$phone/menucmd.exe" BookView 100 >/dev/null 2>&1 || true
wait_log "appwin asks" $((asked + 1)) || say "  (Reader did not ask)"
for _ in $(seq 1 200); do
  [ "$(account_count "front change")" -gt "$lines" ] && break
  sleep 0.05
done
if [ "$(account_count "matched the owner's")" -gt 0 ]; then
  say "  phone:  rotation left as it was, code $(last_code) ($(rotation_name "$(last_code)")): the box's owner is held"
else
  say "  phone:  display rotation code $(last_code) ($(rotation_name "$(last_code)"))"
fi
shot 16 "Reader's own box: landscape stays"
# The box is answered (OK) before Reader is left.
"$VORN_WINE" "$phone/menucmd.exe" "#32770" 1 >/dev/null 2>&1 || true
wait_log "appwin answered" 1 || true
app appwin.exe "Inbox" "MailApp" turns
say "  (Inbox is not held: the display goes back to where the phone points, upright)"
shot 17 "Left #landscape(Reader): portrait"

say
say "The phone is laid face down; #fdscreenoff(2) asks for the power key."
presses_before=$(log_count "keywatch down vk=0xdf")
"$VORN_WINE" "$phone/sensordrv.exe" set 0x10004 >/dev/null
if wait_log "keywatch up vk=0xdf" 1; then
  say "  phone:  power key pressed and released ($(( $(log_count "keywatch down vk=0xdf") - presses_before )) press)"
  shot 18 "Vorn pressed the power key"
else
  say "  phone:  no power key seen"
  shot 18 "No power key seen"
fi
turn 0x10002 "picked up and held upright"
# The power key put the display to sleep: the screen stays dark.
shot 19 "${did/the display/it}; screen asleep" --screen-off

say
"$VORN_WINE" "$vorn_dir/vorn.exe" "#unload"
for _ in $(seq 1 100); do
  grep -q "RegistryCloseNotification" "$PHONE_CALL_LOG" && break
  sleep 0.05
done
say "vorn.exe #unload: the monitor let go of the sensor and ended."
say "Final display rotation: $(rotation_name "$(last_code)")"

say
# The screen has slept since the power key; its owner wakes it before the
# editor can be seen.
say "The phone's owner presses the power key: the screen wakes, lit again."
start_shortcut "$programs/Vorn Settings.lnk" || exit 1
say "Start > Programs > Vorn Settings starts $shortcut_said, the editor;"
say "Edit > Show log: it shows the account's latest lines, newest first, in place of"
say "the text, as many as fit the screen."
# Chosen the way the tests choose a menu command (40010: Show log).
if "$VORN_WINE" "$phone/menucmd.exe" QZSGCFGEDIT 40010 >/dev/null 2>&1; then
  shot 20 "Power key woke the screen; Show log"
else
  say "  (the editor did not show the account)"
fi
"$VORN_WINE" "$phone/menucmd.exe" QZSGCFGEDIT 2 >/dev/null 2>&1 || true  # Exit

say
say "Vorn's account of each event, as #log(1) asked (vorn.log beside vorn.txt):"
sed 's/\r$//; s/^/    /' "$vorn_dir/vorn.log" 2>/dev/null || say "    (no account written)"

say
sheet="$phone/phone-story.png"
if [ "${#frames[@]}" -gt 0 ] &&
   "$VORN_WINE" "$phone/phonepic.exe" sheet "$sheet" "Vorn on the emulated phone: the screen turns with the phone and the app in front, except in listed apps" "${frames[@]}" >/dev/null 2>&1; then
  say "Pictures of each step are in ${phone#"$PWD"/}/ (step-01.png to step-$(printf '%02d' "${#frames[@]}").png);"
  say "the whole story on one sheet: ${sheet#"$PWD"/}"
else
  say "The pictures could not be made."
fi

# The phone's own program, made from the same sources.
say
if bash scripts/phone-build.sh >"$VORN_BUILD/phone-build.log" 2>&1; then
  say "The phone's own program: build-arm/vorn.exe, $(stat -c %s build-arm/vorn.exe) bytes;"
  say "build-arm/vorn.cab installs it on a phone."
else
  tail -n 20 "$VORN_BUILD/phone-build.log" >&2
  say "The phone's own program could not be built (see $VORN_BUILD/phone-build.log)."
  exit 1
fi
