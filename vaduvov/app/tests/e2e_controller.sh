#!/usr/bin/env bash
# End to end, as an instructor would: the built controller in a fresh
# program folder beside the drill program, under Xvfb; a score folder typed
# in, the score table opened, the program closed from its menu, and the
# three settings files checked on disk.
# Usage: e2e_controller.sh <folder of the built programs>
set -euo pipefail
bin=$1
source "$(dirname "$0")/../../../scripts/e2e_session.sh" 121 150

mkdir -p "$work/prog" "$work/scores"
cp "$bin/vaduvov" "$bin/ruzozu" "$work/prog/"
# One drill computer's results file.
printf '"s01","taro"\r\n"x","x"\r\n"sample",4\r\n2,2,0\r\n' > "$work/scores/pc1.dat"

"$work/prog/vaduvov" >"$work/app.log" 2>&1 &
app=$!
timeout 30 xdotool search --sync --onlyvisible --name "RUZOZU Controller" >/dev/null || fail "no window"
main=$(xdotool search --onlyvisible --name "RUZOZU Controller" | head -1)
xdotool windowfocus --sync "$main"
sleep 0.5

# The score folder box: its place in the window, then Enter takes it.
xdotool mousemove --window "$main" 130 228 click 1
xdotool type --delay 20 "$work/scores"; xdotool key Return
sleep 0.3
xdotool key ctrl+s                                  # 成績一覧表
timeout 10 xdotool search --sync --onlyvisible --name "成績一覧表" >/dev/null || fail "no score table"

xdotool windowfocus --sync "$main"
xdotool key alt+f; sleep 0.3; xdotool key q         # 終了(&Q)
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the program did not close"
app=""

ini="$work/prog/vaduvov.ini"
[ -f "$ini" ] || fail "own settings not written"
grep -q "^Folder=$work/scores/" "$work/prog/ruzozu.dvk" || fail "score folder not in ruzozu.dvk"
[ -f "$work/prog/ruzozu.ini" ] || fail "drill settings not written"
iconv -f CP932 -t UTF-8 "$ini" | grep -q "^Ruzozu実行Dir=$work/prog/" || fail "drill folder not in own settings"
echo "e2e controller: passed"
