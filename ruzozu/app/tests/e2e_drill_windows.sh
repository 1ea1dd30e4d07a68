# Sourced by the drill's end-to-end tests after e2e_session.sh: the
# windows of the drill program seen from outside (the main window is
# $main, its title $title; the results file is $dat), by X's own account.
# The window with the keyboard.
focused() { xdotool getwindowfocus 2>/dev/null; }
focused_name() { xdotool getwindowfocus getwindowname 2>/dev/null; }
main_has_keys() { [ "$(focused)" = "$main" ]; }
# A window other than the main window, titled $1, has the keyboard.
dialog_has_keys() { local f; f=$(focused) && [ "$f" != "$main" ] && [ "$(focused_name)" = "$1" ]; }
other_has_keys() { local f; f=$(focused) && [ -n "$f" ] && [ "$f" != "$main" ] && [ "$f" -gt 1 ]; }
# Waits for a dialog, then gives it keys; the main window has the
# keyboard again afterwards unless another dialog follows (-).
in_dialog() {
  local back=1
  [ "$1" = - ] && { back=0; shift; }
  local name=$1
  shift
  wait_until 20 "the dialog \"$name\" with the keyboard" dialog_has_keys "$name"
  xdotool key "$@"
  [ $back = 0 ] || wait_until 20 "the main window with the keyboard after \"$name\"" main_has_keys
}
geometry() { xdotool getwindowgeometry --shell "$main"; }
is_full() { eval "$(geometry)"; [ "$WIDTH" = 1024 ] && [ "$HEIGHT" = 768 ]; }
# matchbox gives every main window the whole screen in either mode (the
# drill shows at its own size in the corner in normal mode): there only
# the keyboard is checked after a switch.
is_normal() {
  [ "$desktop" = matchbox ] && return 0
  eval "$(geometry)"; [ "$WIDTH" -lt 1024 ] && [ "$HEIGHT" -lt 768 ]
}
# Clicks a point of the 640 x 480 drill where the window shows it now.
click_drill() {
  eval "$(geometry)"
  local s
  s=$(awk -v w="$WIDTH" -v h="$HEIGHT" 'BEGIN { s = w / 640; if (h / 480 < s) s = h / 480; if (s > 1) print s; else print 1 }')
  read -r x y < <(awk -v s="$s" -v w="$WIDTH" -v h="$HEIGHT" -v X="$X" -v Y="$Y" -v px="$1" -v py="$2" \
    'BEGIN { ox = (s > 1) ? (w - 640 * s) / 2 : 0; oy = (s > 1) ? (h - 480 * s) / 2 : 0;
             printf "%d %d\n", X + ox + px * s, Y + oy + py * s }')
  xdotool mousemove "$x" "$y" click 1 mousemove 0 0
}
# The main window: the big one of its title (a window may go while it is
# looked at).
find_main() {
  local w
  main=""
  for w in $(xdotool search --onlyvisible --name "^$title" 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null || echo WIDTH=0)"
    [ "$WIDTH" -ge 600 ] && { main=$w; return 0; }
  done
  return 1
}
# The fourth line of the results file: the question, right and wrong.
line4() { [ "$(sed -n 4p "$dat" 2>/dev/null | tr -d '\r')" = "$1" ]; }
wait_line4() { wait_until 20 "results line 4 to read $1 (it reads $(sed -n 4p "$dat" 2>/dev/null | tr -d '\r'))" line4 "$1"; }
