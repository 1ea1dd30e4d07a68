#!/usr/bin/env bash
# End to end, as a learner would: the built drill program in a fresh
# program folder under Xvfb, in one of three desktops (none, matchbox,
# openbox), driven by keys (and a click on the hint button, which takes no
# keys); nothing hands the program the keyboard.  It starts in full screen
# (the default), takes an answer, a hint, a menu opened by Alt+F with its
# question and open dialog, a message box, the right-answer message, a
# switch to normal mode and back at run time, and goes on taking typed
# answers after each; the results and progress files are checked on disk.
# With "network", the program folder holds "ruzozu.dvk": the learner logs
# in first, the results land in the shared score folder and the progress in
# the learner's own folder there.
# Usage: e2e_drill.sh <folder of the built programs> <none|matchbox|openbox> [network]
set -euo pipefail
bin=$1
mode=${3:-standalone}
source "$(dirname "$0")/../../../scripts/e2e_session.sh" "${2:-none}"

mkdir -p "$work/prog" "$work/problems"
cp "$bin/ruzozu" "$work/prog/"
cp "$bin"/*.spi "$work/prog/" 2>/dev/null || true
cp "$bin/rzmetafile" "$work/prog/"  # draws metafiles in a child process
printf '%s\r\n' '~Title' 'first title' '/' \
  'neko;cat' 'question one' '@hint' 'a pet' '@/' '@mess' 'well done' '@/' '/' \
  'btns 2 a&c' 'question two' '/' \
  'fish' 'question three' '/fb' > "$work/problems/e2e.qzb"

if [ "$mode" = network ]; then
  mkdir -p "$work/share/score"
  printf '[Data]\r\nFolder=%s/share/score/\r\n' "$work" > "$work/prog/ruzozu.dvk"
fi

title="Ruzozu Ver 4.4"
main=""
source "$(dirname "$0")/e2e_drill_windows.sh"

export RUZOZU_QUIET_MEDIA=1
"$work/prog/ruzozu" "$work/problems/e2e.qzb" >"$work/app.log" 2>&1 &
app=$!
score="$work/prog/Your Score"
progress="$score"
if [ "$mode" = network ]; then
  score="$work/share/score"
  progress="$score/t01"
  login="ID, User名, PassWord を入力してください。"
  wait_until 30 "the login" dialog_has_keys "$login"
  main=$(focused)  # the login stands for the main window until it closes
  xdotool type --delay 30 't01'; xdotool key Return
  xdotool type --delay 30 'taro'; xdotool key Return
  # A new learner is told to register a password (a box of the same title).
  wait_until 20 "the password notice" dialog_has_keys "$login"
  xdotool key Return
  wait_until 20 "the login again" main_has_keys
  main=""
  xdotool type --delay 30 'pw1'; xdotool key Return
  xdotool key Return                                   # OK
fi
dat="$score/$(hostname -s).dat"

wait_until 30 "the main window" find_main
title=$(xdotool getwindowname "$main")  # message boxes carry it (with the learner's name)
# The window takes the keyboard by itself, in full screen.
wait_until 30 "the main window with the keyboard at the start" main_has_keys
wait_until 20 "full screen" is_full
wait_line4 '"0","0","0"'
if [ "$mode" = network ]; then
  [ "$(sed -n 1p "$dat" | tr -d '\r')" = '"t01","taro"' ] || fail "results line 1"
  grep -q '^"t01","taro",' "$work/prog/ruzozu.mib" || fail "learner not in the roster"
fi
[ "$(sed -n 3p "$dat" | tr -d '\r')" = '"e2e","3"' ] || fail "results line 3"

xdotool type --delay 40 'dog'; xdotool key Return      # wrong
xdotool key Return                                     # a new try
# The hint button takes no keys: a click, and Enter closes the hint.
click_drill 583 40
in_dialog "ヒント" Return
# A menu by its key, its question (a problem is open), the open dialog.
xdotool key alt+f o
in_dialog - "$title" Return                            # Yes: change the problem
in_dialog "Ruzozu Problem File" Escape
# A message box: F2 finds no manual in the program folder.
xdotool key F2
in_dialog "$title" Return
# Alt alone, and a menu opened and closed by keys, leave the keyboard
# with the answer box: typing goes on there.
# (In full screen menus are drawn inside the window: no window of their
# own to wait for, and the keys are taken in their order.)
xdotool key alt
xdotool key alt+f Escape
xdotool type --delay 40 'cat'; xdotool key Return      # right, not at the first try
in_dialog "正答メッセージ" Return
xdotool key Return                                     # next step
# The wrong try and the hint are one question's one mistake.
wait_line4 '"1","0","1"'

# Normal mode at run time, through the settings dialog.
xdotool key alt+o o
in_dialog "環境設定" space Return
wait_until 20 "normal mode" is_normal
wait_until 20 "the main window with the keyboard in normal mode" main_has_keys
xdotool key alt
xdotool key alt+f Escape
xdotool type --delay 40 'b'; xdotool key Return        # right at the first try
xdotool key Return                                     # next step
wait_line4 '"2","1","1"'

# Full screen again, and typing goes on.
xdotool key alt+o o
in_dialog "環境設定" space Return
wait_until 20 "full screen again" is_full
wait_until 20 "the main window with the keyboard in full screen" main_has_keys
xdotool type --delay 40 'fish'; xdotool key Return     # right at the first try
xdotool key Return                                     # next step: feedback with a review
wait_until 20 "the feedback" other_has_keys
xdotool key Return
wait_until 20 "the main window after the feedback" main_has_keys
wait_line4 '"0","2","0"'
[ -f "$progress/e2e.sc" ] || fail "no progress file"
[ "$(sed -n 8p "$progress/e2e.sc" | tr -d '\r')" = "2" ] || fail "progress: right count $(sed -n 8p "$progress/e2e.sc")"

xdotool key alt+f x                                    # 終了(&X)
wait_until 20 "the closing question" dialog_has_keys "$title"
xdotool key Return                                     # Yes
gone() { ! kill -0 "$app" 2>/dev/null; }
wait_until 30 "the program to end" gone
app=""
[ ! -e "$dat" ] || fail "results file left behind"
[ -f "$work/prog/ruzozu.ini" ] || fail "settings not written"
echo "e2e drill ($desktop, $mode): passed"
