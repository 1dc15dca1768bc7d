#!/usr/bin/env bash
# Titles reach the desktop as UTF-8 of the program's Windows-1252 text: the
# window of a program whose path holds an en dash is named by that path,
# `set window title` names it with any letter of the page (the nine below
# are those X's old WM_NAME cannot hold, which shows their look-alikes
# there instead), and so does the caption of the exit prompt.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

# Windows-1252 byte, UTF-8 of its letter, and the look-alike in WM_NAME.
letters=(
  $'\x82' '‚' ','
  $'\x83' 'ƒ' 'f'
  $'\x88' 'ˆ' '^'
  $'\x8b' '‹' '<'
  $'\x95' '•' '·'
  $'\x96' '–' '-'
  $'\x97' '—' '-'
  $'\x98' '˜' '~'
  $'\x9b' '›' '>'
)
count=$((${#letters[@]} / 3))

# Step N waits for the file N, which the test writes once it has seen the
# title of the step before.
{
  for ((i = 0; i < count; i++)); do
    printf 'while file exists("%d") = 0\r\nsync\r\nendwhile\r\n' "$i"
    printf 'set window title "Level %s 1"\r\n' "${letters[3 * i]}"
  done
  printf 'while file exists("%d") = 0\r\nsync\r\nendwhile\r\n' "$count"
  printf 'set exit prompt "Fin \x96 \xe9t\xe9", "Au revoir"\r\n'
} > 'level–1.kqa'

# A window's names as the tools of a UTF-8 desktop show them.
net_name() { LC_ALL=C.UTF-8 xprop -id "$1" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'; }
wm_name() { LC_ALL=C.UTF-8 xprop -id "$1" WM_NAME 2> /dev/null; }
expect_names() {
  desk_until desk_find_window_where net_name "$1" || desk_fail "no window of the run has _NET_WM_NAME \"$1\""
  [ "$(wm_name "$DESK_WINDOW")" = "WM_NAME(STRING) = \"$2\"" ] ||
    desk_fail "the window named \"$1\" has $(wm_name "$DESK_WINDOW")"
}

desk_start "$zentrovex" run 'level–1.kqa'
expect_names "$DESK_WORK/level–1.kqa" "$DESK_WORK/level-1.kqa"
for ((i = 0; i < count; i++)); do
  touch "$i"
  expect_names "Level ${letters[3 * i + 1]} 1" "Level ${letters[3 * i + 2]} 1"
done
touch "$count"
expect_names 'Fin – été' 'Fin - été'
xdotool key --window "$DESK_WINDOW" Return 2> /dev/null || true
desk_ended || desk_fail "the run did not end when its exit prompt was answered"
echo "window titles: UTF-8 in _NET_WM_NAME, their nearest Latin-1 in WM_NAME, for the program's path, its titles and the exit prompt"
