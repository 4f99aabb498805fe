#!/usr/bin/env bash
# Checks the installed package as a Debian maintainer would: hardening-check on
# its program and sound module, for every protection that this release's
# dpkg-buildflags gives, then the desktop tests of a test build (BUILD_DIR, of
# scripts/test.sh; they are built there if need be) played against the
# installed game instead of the build's.
#   check-installed.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
bash scripts/setup.sh checks
bash scripts/setup.sh tests
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target desktop_tests >/dev/null

# Control-flow protection only where this release builds with it (from 13 on).
offered=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --query-features hardening |
  awk '/^Feature:/ { f = $2 } /^Enabled: yes/ { print f }')
skip=()
grep -qx branch <<<"$offered" || skip+=(--nocfprotection)
mapfile -t elves < <(dpkg -L glidor | xargs file | sed -n 's/: *ELF .*//p')
hardening-check "${skip[@]}" "${elves[@]}"

sound=$(mktemp -d)
trap 'bash scripts/sound-server.sh stop "$sound"; rm -rf "$sound"' EXIT
bash scripts/sound-server.sh start "$sound"
export PULSE_SERVER="unix:$sound/native" XDG_RUNTIME_DIR=$sound
export GLIDOR_PROGRAM=/usr/games/glidor # the link the package installs
ctest --test-dir "$build" -R '^(desktop_tests|wayland_client)$' --output-on-failure
