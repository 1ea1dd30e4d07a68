#!/usr/bin/env bash
# Run inside a D-Bus session of its own (dbus-run-session), as the account
# the input method may run under: starts the input method $1 (fcitx5 or
# ibus) with Mozc in hiragana, waits until it answers, then runs the
# program given after it with Qt talking to that input method.
# HOME and XDG_RUNTIME_DIR are set by the caller; "$HOME/im-ready" is made
# once the input method answers.
set -euo pipefail
im=$1
shift
mkdir -p "$HOME/.config"
export XDG_CONFIG_HOME=$HOME/.config
ready() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null |
    grep -q true
}
wait_ready() {
  for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done
  echo "the input method $im did not answer"
  exit 1
}
case "$im" in
  fcitx5)
    # Mozc the only input method besides the keyboard, active in every
    # window from the start.
    mkdir -p "$XDG_CONFIG_HOME/fcitx5"
    printf '%s\n' '[Groups/0]' 'Name=Default' 'Default Layout=us' 'DefaultIM=mozc' '' \
      '[Groups/0/Items/0]' 'Name=keyboard-us' 'Layout=' '' '[Groups/0/Items/1]' 'Name=mozc' 'Layout=' '' \
      '[GroupOrder]' '0=Default' > "$XDG_CONFIG_HOME/fcitx5/profile"
    printf '%s\n' '[Behavior]' 'ActiveByDefault=True' 'ShareInputState=All' > "$XDG_CONFIG_HOME/fcitx5/config"
    fcitx5 -r > "$HOME/im.log" 2>&1 &
    wait_ready ready org.fcitx.Fcitx5
    export QT_IM_MODULE=fcitx XMODIFIERS=@im=fcitx
    ;;
  ibus)
    # Mozc on in hiragana from the start.
    mkdir -p "$XDG_CONFIG_HOME/mozc"
    printf '%s\n' 'engines {' '  name : "mozc-jp"' '  longname : "Mozc"' '  layout : "default"' \
      '  layout_variant : ""' '  layout_option : ""' '  rank : 80' '}' 'active_on_launch: True' \
      > "$XDG_CONFIG_HOME/mozc/ibus_config.textproto"
    ibus-daemon --xim --panel=disable --emoji-extension=disable -r > "$HOME/im.log" 2>&1 &
    # (Setting the engine may report a failure and still take it.)
    mozc_engine() { ibus engine mozc-jp >/dev/null 2>&1; [ "$(ibus engine 2>/dev/null)" = mozc-jp ]; }
    wait_ready mozc_engine
    export QT_IM_MODULE=ibus XMODIFIERS=@im=ibus
    ;;
  *) echo "unknown input method $im"; exit 2 ;;
esac
# The test asks the input method about the program through this bus.
echo "$DBUS_SESSION_BUS_ADDRESS" > "$HOME/bus"
touch "$HOME/im-ready"
"$@"
