#!/usr/bin/env bash
# Installs the Debian packages Glidor needs, on Debian 12, 13 or testing. Safe to run again.
#
#   setup.sh          to build and play the game
#   setup.sh package  to build its Debian package (package.sh)
#   setup.sh tests    to build it and run every test
#   setup.sh bench    to run the benchmark too
#   setup.sh checks   to check the package as Debian does: reprotest, hardening-check
#   setup.sh lint     to check the format of the C++ and the shell scripts (lint.sh)
#   setup.sh roots    to check the set-up in brand-new Debian roots (fresh-root.sh)
set -euo pipefail

play=(
  cmake g++ make pkg-config
  dpkg-dev  # dpkg-parsechangelog reads the version and its date from packaging/changelog
  qt6-base-dev libpulse-dev libsndfile1-dev
  # the platform plugins and the faces that stand in for Comic Sans MS and Verdana
  qt6-qpa-plugins fonts-comic-neue fonts-dejavu-core
)
package=(
  "${play[@]}"
  file           # CPack finds the libraries the package depends on with dpkg-shlibdeps
  git            # the package's dates are the last commit's
)
tests=(
  "${package[@]}"
  libgtest-dev libgmock-dev clang libclang-rt-dev
  qt6-base-private-dev  # the window tests switch accessibility on to record what a screen reader is sent
  xvfb xauth xdotool x11-utils pulseaudio pulseaudio-utils sox
  appstream desktop-file-utils lintian
  # the desktop tests: a window manager, a Wayland compositor and Qt's Wayland plugin
  openbox weston qt6-wayland
)
bench=(
  "${tests[@]}"
  libxcb1-dev libxcb-damage0-dev libxcb-xtest0-dev  # the benchmark's window watcher
)
checks=(
  reprotest disorderfs faketime locales-all  # reprotest and what its variations use
  devscripts  # hardening-check
)
lint=(clang-format shellcheck git)  # git lists the files to check
roots=(mmdebstrap git xvfb x11-utils)

case "${1:-play}" in
play) packages=("${play[@]}") ;;
package) packages=("${package[@]}") ;;
tests) packages=("${tests[@]}") ;;
bench) packages=("${bench[@]}") ;;
checks) packages=("${checks[@]}") ;;
lint) packages=("${lint[@]}") ;;
roots) packages=("${roots[@]}") ;;
*) echo "usage: $0 [package|tests|bench|checks|lint|roots]" >&2; exit 2 ;;
esac

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
