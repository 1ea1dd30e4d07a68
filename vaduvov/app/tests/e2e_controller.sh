#!/usr/bin/env bash
# End to end, as an instructor would: the built controller in a fresh
# program folder beside the drill program, under Xvfb in one of three
# desktops (none, matchbox, openbox), driven by keys and clicks only; a
# score folder typed in, the score table opened, the program closed from
# its menu, and the three settings files checked on disk.  Nothing hands
# the program the keyboard: it must take it itself.
# Usage: e2e_controller.sh <folder of the built programs> <none|matchbox|openbox>
set -euo pipefail
bin=$1
source "$(dirname "$0")/../../../scripts/e2e_session.sh" "${2:-none}"

mkdir -p "$work/prog" "$work/scores"
cp "$bin/vaduvov" "$bin/ruzozu" "$work/prog/"
# One drill computer's results file.
printf '"s01","taro"\r\n"x","x"\r\n"sample",4\r\n2,2,0\r\n' > "$work/scores/pc1.dat"

focused() { xdotool getwindowfocus 2>/dev/null; }
"$work/prog/vaduvov" >"$work/app.log" 2>&1 &
app=$!
wait_until 30 "the main window" window_named "RUZOZU Controller.*"
main=$(xdotool search --onlyvisible --name "^RUZOZU Controller" | head -1)
main_has_keys() { [ "$(focused)" = "$main" ]; }
wait_until 30 "the main window with the keyboard" main_has_keys
# Mostly a light grey, none of it left black: the right quarter of a
# window (its screenshot is taken into $work/shot.png).
right_quarter_painted() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window "$1" "$work/shot.png" 2>/dev/null || return 1
  local mean
  mean=$(convert "$work/shot.png" -crop "$((WIDTH / 4))x$HEIGHT+$((WIDTH * 3 / 4))+0" +repage \
         -colorspace Gray -format '%[fx:mean]' info:) || return 1
  awk -v m="$mean" 'BEGIN { exit !(m > 0.5) }'
}
if [ "$desktop" = matchbox ]; then
  # The kiosk manager gives the main window the whole screen too: its
  # background fills all of it.
  main_wide() { eval "$(xdotool getwindowgeometry --shell "$main")"; [ "$WIDTH" -gt 700 ]; }
  wait_until 20 "the main window over the screen" main_wide
  wait_until 20 "the whole main window painted" right_quarter_painted "$main"
fi

# The score folder box: a click at its place in the window, then Enter
# takes what is typed.
xdotool mousemove --window "$main" 130 228 click 1 mousemove 0 0
xdotool type --delay 20 "$work/scores"; xdotool key Return
dvk_has_folder() { grep -q "^Folder=$work/scores/" "$work/prog/ruzozu.dvk"; }
xdotool key ctrl+s                                  # 成績一覧表
wait_until 20 "the score table" window_named "成績一覧表"

table=$(xdotool search --onlyvisible --name "^成績一覧表$" | head -1)
if [ "$desktop" = none ]; then
  # No window manager: the table's own 閉じる button, then the main
  # window's menu, by clicks.
  eval "$(xdotool getwindowgeometry --shell "$table")"
  xdotool mousemove --window "$table" 205 $((HEIGHT - 20)) click 1 mousemove 0 0
  no_table() { no_window_named "成績一覧表"; }
  wait_until 20 "the score table to close" no_table
  xdotool mousemove --window "$main" 20 10 click 1 mousemove 0 0
  menu_open() { [ "$(xdotool search --onlyvisible --pid "$app" | wc -l)" -ge 2 ]; }
  wait_until 20 "the main window's menu" menu_open
  xdotool key q                                     # 終了(&Q)
else
  # The window manager closes the table by its key; the main window has
  # the keyboard again, and its menu opens by Alt+F.
  table_has_keys() { [ "$(focused)" = "$table" ]; }
  wait_until 20 "the score table with the keyboard" table_has_keys
  if [ "$desktop" = matchbox ]; then
    # The kiosk manager gives the table the whole screen, far wider than
    # its columns: all of it is painted, none left black.  The right
    # quarter of the window, once its size has settled, is mostly the
    # grid's white and the panel's grey.
    wide() { eval "$(xdotool getwindowgeometry --shell "$table")"; [ "$WIDTH" -gt 700 ]; }
    wait_until 20 "the score table over the screen" wide
    wait_until 20 "the whole score table painted" right_quarter_painted "$table"
  else
    # An ordinary desktop keeps the table's width whatever size is asked.
    eval "$(xdotool getwindowgeometry --shell "$table")"
    fitted=$WIDTH
    # The move asked after the size shows the manager has dealt with both.
    xdotool windowsize "$table" $((fitted + 200)) 400
    xdotool windowmove "$table" $((X + 37)) $((Y + 23))
    moved() { eval "$(xdotool getwindowgeometry --shell "$table")"; [ "$X" -ne "$x0" ] || [ "$Y" -ne "$y0" ]; }
    x0=$X y0=$Y
    wait_until 20 "the score table moved" moved
    eval "$(xdotool getwindowgeometry --shell "$table")"
    [ "$WIDTH" -eq "$fitted" ] || fail "the table's width changed from $fitted to $WIDTH"
  fi
  xdotool key alt+F4
  wait_until 20 "the main window with the keyboard after the table" main_has_keys
  xdotool key alt+f q                               # 終了(&Q)
fi
gone() { ! kill -0 "$app" 2>/dev/null; }
wait_until 30 "the program to end" gone
app=""

ini="$work/prog/vaduvov.ini"
[ -f "$ini" ] || fail "own settings not written"
dvk_has_folder || fail "score folder not in ruzozu.dvk"
[ -f "$work/prog/ruzozu.ini" ] || fail "drill settings not written"
iconv -f CP932 -t UTF-8 "$ini" | grep -q "^Ruzozu実行Dir=$work/prog/" || fail "drill folder not in own settings"
echo "e2e controller ($desktop): passed"
