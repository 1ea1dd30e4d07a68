#!/usr/bin/env bash
# End to end through a Japanese input method, as a learner types: the
# built drill program in network mode under Xvfb, in one of three desktops,
# with fcitx5 or ibus running Mozc in hiragana on the test's own display and
# D-Bus session.  The login's ID box takes "t01" as typed while the input
# method is on; an answer composed and not confirmed, or confirmed in part,
# is judged whole when 解答 is clicked, when Enter is pressed twice and
# after the hint is opened, and once when another window takes the
# keyboard meanwhile; Alt+O opens its menu and its item while the
# input method is on, and nothing of the menu's keys lands in the answer
# box.  The results and progress files and the roster are the oracle.
# Mozc refuses to run as root: as root the session runs as the account
# "rzime" (made when missing).  Without the packages the test is skipped.
# Usage: e2e_ime.sh <folder of the built programs> <none|matchbox|openbox> <fcitx5|ibus>
set -euo pipefail
bin=$1
im=${3:-fcitx5}
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "skipped: $*"; exit 77; }

qt_plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
for c in dbus-run-session dbus-send; do command -v "$c" >/dev/null || skip "$c missing (dbus)"; done
case "$im" in
  fcitx5)
    command -v fcitx5 >/dev/null || skip "fcitx5 missing"
    [ -f /usr/share/fcitx5/inputmethod/mozc.conf ] || skip "fcitx5-mozc missing"
    [ -f "$qt_plugins/platforminputcontexts/libfcitx5platforminputcontextplugin.so" ] || skip "fcitx5-frontend-qt6 missing"
    ;;
  ibus)
    command -v ibus-daemon >/dev/null && command -v ibus >/dev/null || skip "ibus missing"
    [ -f /usr/share/ibus/component/mozc.xml ] || skip "ibus-mozc missing"
    [ -f "$qt_plugins/platforminputcontexts/libibusplatforminputcontextplugin.so" ] || skip "Qt's ibus plug-in missing"
    ;;
  *) echo "unknown input method $im"; exit 2 ;;
esac
# Mozc's server does not run as root: the session gets an account of its own.
as_user=()
account=rzime
im_account=$(id -un)
if [ "$(id -u)" = 0 ]; then
  command -v runuser >/dev/null || skip "runuser missing"
  if ! id "$account" >/dev/null 2>&1; then
    command -v useradd >/dev/null || skip "useradd missing: no account to run Mozc"
    useradd -r -M -d /nonexistent -s /usr/sbin/nologin "$account" 2>/dev/null || id "$account" >/dev/null 2>&1 ||
      skip "the account $account cannot be made"
  fi
  as_user=(runuser -u "$account" --)
  im_account=$account
fi

source "$here/../../../scripts/e2e_session.sh" "${2:-none}"

# The input method's session: every process of it ends with the test,
# also Mozc's server, which leaves the session (known by the trace file
# named in its environment).
session=""
ime_cleanup() {
  local p
  if [ -n "$session" ]; then
    for p in $(ps -eo pid=,sid= | awk -v s="$session" '$2 == s { print $1 }'); do kill "$p" 2>/dev/null || true; done
    for p in $(pgrep -u "$im_account" 2>/dev/null); do
      { tr '\0' '\n' < "/proc/$p/environ"; } 2>/dev/null | grep -qxF "RUZOZU_IM_TRACE=$trace" && kill "$p" 2>/dev/null || true
    done
  fi
  cleanup
}
trap ime_cleanup EXIT

chmod 755 "$work"
mkdir -p "$work/prog" "$work/problems" "$work/share/score" "$work/imhome"
mkdir -m 700 "$work/imhome/run"
cp "$bin/ruzozu" "$work/prog/"
cp "$bin"/*.spi "$work/prog/" 2>/dev/null || true
cp "$bin/rzmetafile" "$work/prog/"
printf '%s\r\n' '~Title' 'ime title' '/' \
  'さくら' 'question one' '/' \
  'ねこ' 'question two' '/' \
  'いぬ' 'question three' '/' \
  'うみ' 'question four' '@hint' 'the sea' '@/' '/' \
  'やま' 'question five' '/' \
  'はな' 'question six' '/' \
  'fish' 'question seven' '/' | iconv -f UTF-8 -t CP932 > "$work/problems/ime.qzb"
printf '[Data]\r\nFolder=%s/share/score/\r\n' "$work" > "$work/prog/ruzozu.dvk"
trace="$work/imhome/trace"
: > "$trace"
if [ ${#as_user[@]} -gt 0 ]; then
  chown -R "$account" "$work/prog" "$work/problems" "$work/share" "$work/imhome"
fi

title="Ruzozu Ver 4.4"
main=""
source "$here/e2e_drill_windows.sh"
# fcitx5 knows a window of the program (it makes one input context a
# window, a moment after the window is made); with "focus:1": one with the
# keyboard that takes composition.  ibus serves the program as a whole from
# its start.
im_contexts() {
  [ "$im" = fcitx5 ] || return 0  # (asked, the bus would start fcitx5)
  "${as_user[@]}" env DBUS_SESSION_BUS_ADDRESS="$(cat "$work/imhome/bus")" dbus-send --session --print-reply \
    --dest=org.fcitx.Fcitx5 /controller org.fcitx.Fcitx.Controller1.DebugInfo 2>/dev/null | grep -a "program:"
}
im_knows() {
  [ "$im" = fcitx5 ] || return 0
  im_contexts | grep -q "program:ruzozu .*$1"
}
# What the input method shows in the box the learner types into, as the
# program last saw it.
composing() { [ "$(tail -n 1 "$trace")" = "preedit:$1" ]; }
wait_composing() { wait_until 20 "the composition \"$1\" (last seen: $(tail -n 1 "$trace"))" composing "$1"; }
score="$work/share/score"
dat="$score/$(hostname -s).dat"

export RUZOZU_QUIET_MEDIA=1
setsid "${as_user[@]}" env HOME="$work/imhome" XDG_RUNTIME_DIR="$work/imhome/run" DISPLAY="$DISPLAY" \
  RUZOZU_QUIET_MEDIA=1 RUZOZU_IM_TRACE="$trace" \
  dbus-run-session -- bash "$here/ime_session.sh" "$im" "$work/prog/ruzozu" "$work/problems/ime.qzb" \
  >"$work/app.log" 2>&1 &
app=$!
session=$app

# The login, with the input method on: the ID box takes no composition.
login="ID, User名, PassWord を入力してください。"
wait_until 40 "the login" dialog_has_keys "$login"
main=$(focused)
wait_until 20 "the input method serving the login" im_knows ""
xdotool type --delay 40 't01'; xdotool key Return
# The name box takes Japanese: "taro" composes たろ, Enter confirms it and
# the next Enter moves on.
xdotool type --delay 40 'taro'
wait_composing 'たろ'
xdotool key Return
wait_composing ''
xdotool key Return
wait_until 20 "the password notice (the ID \"t01\" taken as typed)" dialog_has_keys "$login"
xdotool key Return
wait_until 20 "the login again" main_has_keys
main=""
xdotool type --delay 40 'pw1'; xdotool key Return
xdotool key Return                                         # OK
wait_until 30 "the main window" find_main
wait_until 30 "the main window with the keyboard" main_has_keys
wait_until 20 "full screen" is_full
wait_line4 '"0","0","0"'
# The main window's own input context, made (capabilities set); then a
# first letter composes in the answer box, and goes again.
wait_until 20 "the input method serving the main window" im_knows "cap:[1-9]"
xdotool type 'a'
end=$((SECONDS + 20))
until composing 'あ'; do
  [ $SECONDS -lt $end ] || fail "waited 20s for a composition in the answer box; the input method serves: $(im_contexts)"
  sleep 0.1
done
xdotool key BackSpace
wait_composing ''

[ "$(sed -n 1p "$dat" | iconv -f CP932 -t UTF-8 | tr -d '\r')" = '"t01","たろ"' ] ||
  fail "results line 1: $(sed -n 1p "$dat" | iconv -f CP932 -t UTF-8)"
grep -q '^"t01",' "$work/prog/ruzozu.mib" || fail "t01 not in the roster"

# Confirmed in part, composing the rest, then a click on 解答.
xdotool type --delay 40 'saku'
wait_composing 'さく'
xdotool key Return
wait_composing ''
xdotool type --delay 40 'ra'
wait_composing 'ら'
click_drill 230 40
xdotool key Return                                         # next step
wait_line4 '"1","1","0"'
# Nothing confirmed, a click on 解答.
xdotool type --delay 40 'neko'
wait_composing 'ねこ'
click_drill 230 40
xdotool key Return
wait_line4 '"2","2","0"'
# Enter confirms, the next Enter answers.
xdotool type --delay 40 'inu'
wait_composing 'いぬ'
xdotool key Return
wait_composing ''
xdotool key Return
xdotool key Return
wait_line4 '"3","3","0"'
# Composing, the hint opens (a click on its button); after it Enter
# answers with the whole word (right, a mistake after the hint).
xdotool type --delay 40 'umi'
wait_composing 'うみ'
click_drill 583 40
in_dialog "ヒント" Return
xdotool key Return
xdotool key Return
wait_line4 '"4","3","1"'
# Menus by their keys with the input method on: the item's key and Enter
# on an item are the menu's; nothing lands in the answer box.
xdotool key alt+o o
in_dialog "環境設定" Escape
xdotool key alt+o Down Return
in_dialog "環境設定" Escape
xdotool type --delay 40 'yama'
wait_composing 'やま'
xdotool key Return
wait_composing ''
xdotool key Return
xdotool key Return
wait_line4 '"5","4","1"'
# Composing, another program's window takes the keyboard (a click on it)
# and goes: the input method confirms the text once, by itself, and Enter
# answers with it.  Without a window manager no other window takes it.
xdotool type --delay 40 'hana'
wait_composing 'はな'
if [ "$desktop" != none ]; then
  xmessage -geometry 200x80+300+400 other &
  other=$!
  wait_until 20 "the other window" xdotool search --onlyvisible --classname "^xmessage$"
  wid=$(xdotool search --onlyvisible --classname "^xmessage$" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1 mousemove 0 0
  wait_until 20 "the other window with the keyboard" other_has_keys
  wait_composing ''
  kill "$other"
  wait "$other" 2>/dev/null || true
  wait_until 20 "the main window with the keyboard again" main_has_keys
else
  xdotool key Return
  wait_composing ''
fi
xdotool key Return
xdotool key Return
wait_line4 '"6","5","1"'
progress="$score/t01/ime.sc"
[ -f "$progress" ] || fail "no progress file"
[ "$(sed -n 8p "$progress" | tr -d '\r')" = "5" ] || fail "progress: right count $(sed -n 8p "$progress")"
echo "e2e input method ($desktop, $im): passed"
