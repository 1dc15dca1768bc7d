#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP (a logout, a terminal's Ctrl+C, a kill) end a
# run and the editor as their own quit does: quickly, with the private
# temporary folder removed, the editor keeping unsaved programs beside
# themselves as NAME.kqa.autosave; the process then ends by the signal.
# Closing the editor's window asks first, about each unsaved program too,
# and ends it.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

printf 'do\r\nsync\r\nloop\r\n' > loop.kqa
# The system's own temporary folders (the sound server's client makes one too).
ours() { ls -d "$TMPDIR"/zentrovex-* 2> /dev/null || true; }
no_temporary_files() { [ -z "$(ours)" ]; }
temporary_folder_made() { [ -n "$(ours)" ]; }

# Sends the signal and checks that the process ends by it, leaving nothing.
ends_by() {
  local signal=$1 what=$2 number
  number=$(kill -l "$signal")
  kill -"$signal" "$DESK_PID"
  desk_ended || desk_fail "$what did not end on SIG$signal"
  [ "$DESK_STATUS" = $((128 + number)) ] || desk_fail "$what ended on SIG$signal with status $DESK_STATUS"
  no_temporary_files || desk_fail "$what left $(ours) behind on SIG$signal"
}

for signal in TERM INT HUP; do
  desk_start "$zentrovex" run loop.kqa
  desk_window
  ends_by $signal "a run in a window"
done
desk_start "$zentrovex" run --headless loop.kqa
desk_until temporary_folder_made || desk_fail "the headless run made no temporary folder"
ends_by TERM "a headless run"

# The editor, with a change not yet saved, while it runs the program.
desk_start "$zentrovex" edit loop.kqa
desk_window
desk_key ctrl+End Return
desk_type "rem kept"
desk_key F5
desk_window "$DESK_WORK/loop.kqa"
ends_by TERM "the editor running a program"
[ "$(cat loop.kqa.autosave)" = "$(printf 'do\r\nsync\r\nloop\r\nrem kept\r')" ] ||
  desk_fail "the change was not kept: $(od -c loop.kqa.autosave 2>&1 | head -3)"
[ "$(cat loop.kqa)" = "$(printf 'do\r\nsync\r\nloop\r')" ] || desk_fail "the program itself was changed"
rm loop.kqa.autosave

desk_start "$zentrovex" edit loop.kqa
desk_window
ends_by INT "the editor"
[ ! -e loop.kqa.autosave ] || desk_fail "an unchanged program was kept again"

# Closing the window asks about the program changed in tab 1 while tab 2
# is shown, then whether to quit; yes to both saves it and ends the editor.
# (A focus change that arrives late, on a loaded machine, closes the
# question as any activation does; a user would close the window again.)
desk_start "$zentrovex" edit loop.kqa
desk_window
desk_key ctrl+End Return
desk_type "rem saved"
desk_key ctrl+2
tab_2_shown() {
  desk_grab "$DESK_WORK/grab.png" && [ "$(desk_count "$DESK_WORK/grab.png" 14203A 590x26+20+43)" = 15340 ]
}
desk_until tab_2_shown || desk_fail "Ctrl+2 did not show the empty tab 2"
question_shown() {
  desk_grab "$DESK_WORK/grab.png" && [ "$(desk_count "$DESK_WORK/grab.png" 14203A 200x60+220+220)" -lt 100 ]
}
quit_by_closing() {
  if question_shown; then desk_click 276 256; else wmctrl -i -c "$DESK_WINDOW"; fi
  DESK_TIMEOUT=3 desk_until eval '! kill -0 "$DESK_PID" 2> /dev/null'
}
desk_until quit_by_closing || desk_fail "the editor did not end when its window was closed"
desk_ended
[ "$DESK_STATUS" = 0 ] || desk_fail "the editor ended with status $DESK_STATUS"
[ "$(cat loop.kqa)" = "$(printf 'do\r\nsync\r\nloop\r\nrem saved\r')" ] ||
  desk_fail "the change in tab 1 was not saved: $(od -c loop.kqa | head -3)"
no_temporary_files || desk_fail "the editor left $(ours) behind"
echo "stop signals: runs and the editor end on SIGTERM, SIGINT and SIGHUP, and by closing the window"
