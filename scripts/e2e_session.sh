# Sourced by the end-to-end tests: a work folder removed at exit, an Xvfb
# display of its own, the desktop $1 on it
# (none: no window manager at all; matchbox: a kiosk
# window manager; openbox: an ordinary desktop), fail() and waits for states.
# The caller sets $app to the program's process id once it runs.
# Nothing here gives a window the keyboard: the programs must take it
# themselves, as they must for a learner.
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "Xvfb or xdotool missing"; exit 77; }
desktop=${1:-none}
case "$desktop" in
  none) ;;
  matchbox) command -v matchbox-window-manager >/dev/null || { echo "matchbox-window-manager missing"; exit 77; } ;;
  openbox) command -v openbox >/dev/null || { echo "openbox missing"; exit 77; } ;;
  *) echo "unknown desktop $desktop"; exit 2 ;;
esac

work=$(mktemp -d)
# A runtime folder of its own: the single-instance socket lives there, and
# two test runs at once (two build trees) must not meet through it.
mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"
display=""
wm=""
# Each process is waited for: a server still shutting down would remove
# the socket of the next test's server when that takes the same number.
cleanup() {
  trap - ERR
  for p in "${app:-}" "${wm:-}" "${xvfb:-}"; do
    [ -n "$p" ] || continue
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
# A command that fails the script says which.
trap 'echo "FAIL ($desktop): \"$BASH_COMMAND\" exited $? (line $LINENO)"' ERR

# A display number of its own, away from the low numbers desktops and
# other tools take: a free one at random, and another if the server finds
# it taken (it stops at once then).
display=""
for _ in $(seq 30); do
  n=$((RANDOM % 700 + 200))
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    kill -0 "$xvfb" 2>/dev/null || break
    # Ours only when its lock names our server: a number another server
    # holds answers too, while ours fails to take it.
    [ "$(cat "/tmp/.X$n-lock" 2>/dev/null | tr -d ' ')" = "$xvfb" ] && xdpyinfo -display ":$n" >/dev/null 2>&1 &&
      { display=":$n"; break; }
    sleep 0.1
  done
  [ -n "$display" ] && break
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  xvfb=""
done
[ -n "$display" ] || { echo "no X display could be started"; exit 1; }
export DISPLAY=$display
fail() {
  echo "FAIL ($desktop): $*"
  [ -n "${E2E_SHOTS:-}" ] && import -window root "$E2E_SHOTS/fail-$desktop.png" 2>/dev/null
  cat "$work/app.log" 2>/dev/null
  [ -s "$work/wm.log" ] && { echo "window manager:"; cat "$work/wm.log"; }
  exit 1
}

# Polls a command every 0.1 s until it succeeds; fails after $1 seconds (a
# bound for a hang, far above the time the state takes to come).
wait_until() {
  local limit=$1 what=$2
  shift 2
  local end=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $end ] || fail "waited ${limit}s for: $what"
    sleep 0.1
  done
}
unset QT_QPA_PLATFORM  # real windows on the X display

# A visible window whose title is exactly $1.
window_named() { xdotool search --onlyvisible --name "^$1\$"; }
no_window_named() { ! xdotool search --onlyvisible --name "^$1\$"; }
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

# The window manager, started again if it ends at once (under load it now
# and then stops with status 1 before it has taken the display, saying
# nothing; that is no fault of the programs under test).
start_wm() {
  case "$desktop" in
    matchbox) matchbox-window-manager -use_titlebar yes >>"$work/wm.log" 2>&1 & wm=$! ;;
    openbox) openbox --sm-disable >>"$work/wm.log" 2>&1 & wm=$! ;;
  esac
}
wm_ended=""
wm_ready() { kill -0 "$wm" 2>/dev/null || { wm_ended=1; return 0; }; wm_running; }
if [ "$desktop" != none ]; then
  for attempt in 1 2 3; do
    wm_ended=""
    start_wm
    wait_until 20 "the window manager" wm_ready
    [ -z "$wm_ended" ] && break
    code=0; wait "$wm" || code=$?; wm=""
    echo "window manager ended at its start (exit $code), attempt $attempt" >>"$work/wm.log"
  done
  [ -z "$wm_ended" ] || fail "the window manager did not start"
fi
# The pointer rests in a corner, over no window: without a window manager
# the X focus follows the pointer, which would hand a window under it the
# keys.
xdotool mousemove 0 0
