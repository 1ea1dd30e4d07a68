#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Quick when everything is present: apt is called only for what is missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-multimedia-dev libqt6svg6 qt6-svg-dev qt6-translations-l10n
  libwmf-dev libemf2svg-dev clang libclang-rt-14-dev
  gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
  libfluidsynth-dev timgm6mb-soundfont
  libjpeg62-turbo-dev libpng-dev libjpeg-turbo-progs python3-pil
  libgtest-dev libbenchmark-dev
  fonts-ipafont-gothic xvfb xdotool x11-utils imagemagick sox ffmpeg
  matchbox-window-manager openbox
  dbus-x11 fcitx5 fcitx5-mozc fcitx5-frontend-qt6 ibus ibus-mozc
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
