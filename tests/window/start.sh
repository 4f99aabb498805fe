#!/usr/bin/env bash
# Starts the program where it cannot open its window, and where it can, with no display and no
# locale but what a case sets. Usage: start.sh PROGRAM (GLIDOR_PROGRAM, where set, names another)
set -uo pipefail
program=${GLIDOR_PROGRAM:-$1} failed=0
run=$(mktemp -d) # a private runtime folder, where Wayland finds no socket
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$run"' EXIT
# An X server of $1 bits a pixel, as $display; it tells which display it took.
x() {
  Xvfb -displayfd 3 -screen 0 "640x480x$1" 3>"$run/x$1" &>/dev/null &
  for _ in $(seq 200); do [ -s "$run/x$1" ] && break; sleep 0.1; done
  display=:$(cat "$run/x$1")
}
# A case: the one line the program must print, its only output on stderr, before it ends by itself
# (within 20 s) with status 1; or, where that is empty, silence and a program still running after
# 1.5 s. Then its settings and arguments.
expect() {
  local said=$1 settings=() args=() want=/124 limit=1.5
  shift
  for word; do if [[ $word == *=* ]]; then settings+=("$word"); else args+=("$word"); fi; done
  [ -z "$said" ] || { want="glidor: kan inte öppna fönstret: $said"$'\n'/1 limit=20; }
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR -u LANG -u LC_ALL \
    -u LC_CTYPE "${settings[@]}" timeout "$limit" "$program" "${args[@]}" 2>&1 >/dev/null
  echo "/$?")
  [ "$got" = "$want" ] || { echo "FAIL: ${*:-no settings}: $got"; failed=1; }
}
expect 'ingen skärm hittades (DISPLAY saknas)'
expect 'ingen kontakt med skärmen :4711' DISPLAY=:4711
expect 'ingen kontakt med Wayland-skärmen' QT_QPA_PLATFORM=wayland DISPLAY=:4711 \
  XDG_RUNTIME_DIR="$run"
expect 'fönsterplattformen "nosuch" finns inte' QT_QPA_PLATFORM=nosuch DISPLAY=:4711
# Qt's own options are not the game's: -platform on the command line changes nothing.
expect 'ingen skärm hittades (DISPLAY saknas)' -platform offscreen
x 8 && expect 'skärmen har bara 256 färger' DISPLAY="$display" QT_QPA_PLATFORM=xcb
x 15 && expect '' DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$run"
exit $failed
