#!/usr/bin/env bash
# Checks the installed package as a Debian maintainer would: hardening-check on
# its program and sound module, then the desktop and start tests of a test build
# (BUILD_DIR, of scripts/test.sh; they are built there if need be) played against
# the installed game instead of the build's.
#   check-installed.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
bash scripts/setup.sh checks
bash scripts/setup.sh tests
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target desktop_tests >/dev/null

# Every protection but two that no Debian package shows: control-flow
# protection is marked only where every object linked in carries the mark, and
# the C library's start files do not (Debian's own programs fail it too); and
# the sound module has no call whose buffer size the compiler knows, so nothing
# to fortify (as its lintian override says). Branch protection, which
# hardening-check knows from Debian 13 on, is ARM's alone. (Its own script is
# asked: its --help needs Perl's documentation, which a minimal root lacks.)
others=(--nocfprotection)
if [ "$(dpkg --print-architecture)" != arm64 ] && grep -q nobranchprotection "$(command -v hardening-check)"
then
  others+=(--nobranchprotection)
fi
mapfile -t elves < <(dpkg -L glidor | xargs file | sed -n 's/: *ELF .*//p')
for elf in "${elves[@]}"; do
  case "$elf" in *.so) skip=(--nofortify) ;; *) skip=() ;; esac
  hardening-check "${others[@]}" "${skip[@]}" "$elf"
done

sound=$(mktemp -d)
trap 'bash scripts/sound-server.sh stop "$sound"; rm -rf "$sound"' EXIT
bash scripts/sound-server.sh start "$sound"
export PULSE_SERVER="unix:$sound/native" XDG_RUNTIME_DIR=$sound
export GLIDOR_PROGRAM=/usr/games/glidor # the link the package installs
ctest --test-dir "$build" -R '^(desktop_tests|wayland_client|window_start)$' --output-on-failure
