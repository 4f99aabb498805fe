#!/usr/bin/env bash
# Installs every Debian 12 package Glidor needs to build, run and test. Safe to run again.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  qt6-base-dev libpulse-dev libsndfile1-dev
  # run: the platform plugins and the faces that stand in for Comic Sans MS and Verdana
  qt6-qpa-plugins fonts-comic-neue fonts-dejavu-core
  # tests
  libgtest-dev libgmock-dev clang libclang-rt-dev
  qt6-base-private-dev  # the window tests switch accessibility on to record what a screen reader is sent
  xvfb xauth xdotool x11-utils pulseaudio pulseaudio-utils sox
  appstream desktop-file-utils dpkg-dev file lintian
  # the desktop tests: a window manager, a Wayland compositor and Qt's Wayland plugin
  openbox weston qt6-wayland
  # the benchmark's window watcher
  libxcb1-dev libxcb-damage0-dev libxcb-xtest0-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
