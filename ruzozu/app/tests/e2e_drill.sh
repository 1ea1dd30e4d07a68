#!/usr/bin/env bash
# End to end, as a learner would: the built drill program in a fresh
# program folder under Xvfb, answers typed with keys, the results and
# progress files checked on disk.
# With "network", the program folder holds "ruzozu.dvk": the learner logs
# in first, the results land in the shared score folder and the progress in
# the learner's own folder there.
# Usage: e2e_drill.sh <folder of the built programs> [network]
set -euo pipefail
bin=$1
mode=${2:-standalone}
source "$(dirname "$0")/../../../scripts/e2e_session.sh" 90 120

mkdir -p "$work/prog" "$work/problems"
cp "$bin/ruzozu" "$work/prog/"
cp "$bin"/*.spi "$work/prog/" 2>/dev/null || true
cp "$bin/rzmetafile" "$work/prog/"  # draws metafiles in a child process
printf '~Title\r\nfirst title\r\n/\r\nneko;cat\r\nquestion one\r\n/\r\nbtns 2 a&c\r\nquestion two\r\n/fb\r\n' \
  > "$work/problems/e2e.qzb"

if [ "$mode" = network ]; then
  mkdir -p "$work/share/score"
  printf '[Data]\r\nFolder=%s/share/score/\r\n' "$work" > "$work/prog/ruzozu.dvk"
fi

# The newest window of the program (a dialog over the main window).
focus() { xdotool windowfocus --sync "$(xdotool search --onlyvisible --class ruzozu | tail -1)" 2>/dev/null || true; }

export RUZOZU_QUIET_MEDIA=1
"$work/prog/ruzozu" "$work/problems/e2e.qzb" >"$work/app.log" 2>&1 &
app=$!
timeout 30 xdotool search --sync --onlyvisible --class ruzozu >/dev/null || fail "no window"
sleep 2.3  # the splash closes itself after two seconds
score="$work/prog/Your Score"
progress="$score"
if [ "$mode" = network ]; then
  score="$work/share/score"
  progress="$score/t01"
  focus
  xdotool type --delay 30 't01'; xdotool key Return; sleep 0.4
  xdotool type --delay 30 'taro'; xdotool key Return; sleep 0.6
  focus; xdotool key Return; sleep 0.4                 # "register a password"
  focus; xdotool type --delay 30 'pw1'; xdotool key Return; sleep 0.3
  xdotool key Return                                   # OK
fi
dat="$score/$(hostname -s).dat"

wait_for_line4() {
  for _ in $(seq 50); do
    [ "$(sed -n 4p "$dat" 2>/dev/null | tr -d '\r')" = "$1" ] && return 0
    sleep 0.1
  done
  fail "results line 4: expected $1, got $(sed -n 4p "$dat" | tr -d '\r')"
}

wait_for_line4 '"0","0","0"'
if [ "$mode" = network ]; then
  [ "$(sed -n 1p "$dat" | tr -d '\r')" = '"t01","taro"' ] || fail "results line 1"
  grep -q '^"t01","taro",' "$work/prog/ruzozu.mib" || fail "learner not in the roster"
fi
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
[ -f "$progress/e2e.sc" ] || fail "no progress file"
[ "$(sed -n 8p "$progress/e2e.sc" | tr -d '\r')" = "1" ] || fail "progress: right count"

# The menu's keys work once the dialog has gone, with no help from outside
# (no window manager here gives the keyboard back).
sleep 0.5; xdotool key alt+f; sleep 0.3; xdotool key x  # 終了(&X)
sleep 0.5; focus; xdotool key Return                   # Yes to the closing question
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the program did not close"
app=""
[ ! -e "$dat" ] || fail "results file left behind"
[ -f "$work/prog/ruzozu.ini" ] || fail "settings not written"
echo "e2e drill ($mode): passed"
