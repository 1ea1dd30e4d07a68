#!/usr/bin/env bash
# End to end, as a learner would: the built drill program in a fresh
# program folder under Xvfb, answers typed with keys, the results and
# progress files checked on disk.
# Usage: e2e_drill.sh <folder of the built programs>
set -euo pipefail
bin=$1
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "Xvfb or xdotool missing"; exit 77; }

work=$(mktemp -d)
display=""
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/prog" "$work/problems"
cp "$bin/ruzozu" "$work/prog/"
cp "$bin"/*.spi "$work/prog/" 2>/dev/null || true
printf '~Title\r\nfirst title\r\n/\r\nneko;cat\r\nquestion one\r\n/\r\nbtns 2 a&c\r\nquestion two\r\n/fb\r\n' \
  > "$work/problems/e2e.qzb"

for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

export RUZOZU_QUIET_MEDIA=1
"$work/prog/ruzozu" "$work/problems/e2e.qzb" >"$work/app.log" 2>&1 &
app=$!
win=$(xdotool search --sync --onlyvisible --name 'Ruzozu' | head -1)
score="$work/prog/Your Score"
dat="$score/$(hostname -s).dat"

fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }
focus() { xdotool windowfocus --sync "$(xdotool search --onlyvisible --class ruzozu | tail -1)" 2>/dev/null || true; }
wait_for_line4() {
  for _ in $(seq 50); do
    [ "$(sed -n 4p "$dat" 2>/dev/null | tr -d '\r')" = "$1" ] && return 0
    sleep 0.1
  done
  fail "results line 4: expected $1, got $(sed -n 4p "$dat" | tr -d '\r')"
}

wait_for_line4 '"0","0","0"'
[ "$(sed -n 3p "$dat" | tr -d '\r')" = '"e2e","2"' ] || fail "results line 3"
focus
xdotool type --delay 40 'dog'; xdotool key Return      # wrong
sleep 0.3; xdotool key Return                          # a new try
xdotool type --delay 40 'cat'; xdotool key Return      # right, not at the first try
sleep 0.3; xdotool key Return                          # next step
wait_for_line4 '"1","0","1"'
xdotool type --delay 40 'b'; xdotool key Return        # right at the first try
sleep 0.3; xdotool key Return                          # next step: feedback with a review
sleep 0.5; focus; xdotool key Return                   # closes the feedback dialog
wait_for_line4 '"0","1","0"'
[ -f "$score/e2e.sc" ] || fail "no progress file"
[ "$(sed -n 8p "$score/e2e.sc" | tr -d '\r')" = "1" ] || fail "progress: right count"

focus; xdotool key alt+f; sleep 0.3; xdotool key x      # 終了(&X)
sleep 0.5; focus; xdotool key Return                   # Yes to the closing question
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the program did not close"
app=""
[ ! -e "$dat" ] || fail "results file left behind"
[ -f "$work/prog/ruzozu.ini" ] || fail "settings not written"
echo "e2e drill: passed"
