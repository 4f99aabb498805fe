#!/usr/bin/env bash
# Installs the Debian packages Glidor needs, on Debian 12, 13 or testing. Safe to run again.
#
#   setup.sh          to build and play the game
#   setup.sh package  to build its Debian package (package.sh)
#   setup.sh tests    to build it and run every test
#   setup.sh bench    to run the benchmark too
#   setup.sh checks   to check the package as Debian does: lintian, autopkgtest,
#                     piuparts, reprotest, hardening-check
#   setup.sh lint     to check the format of the C++ and the shell scripts (lint.sh)
#   setup.sh roots    to check the set-up in brand-new Debian roots (fresh-root.sh)
#
# What the build needs, its tests included, is written once, as the
# Build-Depends of debian/control (the tests' own marked <!nocheck>), and
# installed from there with apt-get build-dep; the lists below hold only what
# is no build dependency.
set -euo pipefail
cd "$(dirname "$0")/.."

# The build without its tests, and what the game needs to run from the build
# folder (the platform plugins and the faces that stand in for Comic Sans MS
# and Verdana, which the package depends on).
play=(qt6-qpa-plugins fonts-comic-neue fonts-dejavu-core)
# The sanitised and fuzzed build of test.sh.
tests=(clang libclang-rt-dev)
bench=(libxcb1-dev libxcb-damage0-dev libxcb-xtest0-dev)  # the benchmark's window watcher
checks=(
  lintian autopkgtest piuparts
  reprotest disorderfs faketime locales-all  # reprotest and what its variations use
  devscripts  # hardening-check
)
lint=(clang-format shellcheck git)  # git lists the files to check
roots=(mmdebstrap git xvfb x11-utils)

# The build dependencies each needs: all of them, those but the tests' (the
# nocheck build profile), or none.
case "${1:-play}" in
play) build=nocheck packages=("${play[@]}") ;;
package) build=all packages=() ;;
tests) build=all packages=("${tests[@]}") ;;
bench) build=all packages=("${tests[@]}" "${bench[@]}") ;;
checks) build=none packages=("${checks[@]}") ;;
lint) build=none packages=("${lint[@]}") ;;
roots) build=none packages=("${roots[@]}") ;;
*) echo "usage: $0 [package|tests|bench|checks|lint|roots]" >&2; exit 2 ;;
esac
profiles=()
[ "$build" != nocheck ] || profiles=(-P nocheck)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# dpkg-checkbuilddeps comes with dpkg-dev, itself a build dependency.
unmet=no
if [ "$build" != none ] && ! { command -v dpkg-checkbuilddeps >/dev/null &&
  dpkg-checkbuilddeps "${profiles[@]}" 2>/dev/null; }; then
  unmet=yes
fi
[ ${#missing[@]} -eq 0 ] && [ "$unmet" = no ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -y -qq --no-install-recommends)
$sudo apt-get update -qq
[ "$unmet" = no ] || $sudo "${apt[@]}" "${profiles[@]}" build-dep ./
[ ${#missing[@]} -eq 0 ] || $sudo "${apt[@]}" install "${missing[@]}"
