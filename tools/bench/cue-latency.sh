#!/usr/bin/env bash
# Measures the time from a key press to the first sound of its cue in Glidor, next to paplay of the same file.
# Usage: tools/bench/cue-latency.sh BUILD_DIR   (STARTS=5 game starts by default, 6 later cues each)
#
# Runs Xvfb and a PulseAudio server of its own. The game plays on the left
# channel of the server's null sink and paplay, started at the same moment as
# xdotool presses the key, on the right; one recording of both channels gives
# the onsets. The clock of the recording is tied to the wall clock by
# reading both while it runs; as the null sink renders ahead of time, the
# absolute figures are uncertain by some milliseconds, while the difference
# between game and paplay, heard through the same sink, is not.
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
starts=${STARTS:-5}
{ [ -x "$build/glidor" ] && [ -f "$build/Move.wav" ]; } || { echo "build $build first" >&2; exit 1; }

work=$(mktemp -d)
xvfb='' recorder='' game=''
cleanup() {
  for pid in $game $recorder $xvfb; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  bash "$here/../../scripts/sound-server.sh" stop "$work/pulse"
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
# Xvfb writes the display's number once it takes connections.
for _ in $(seq 100); do [ -s "$work/display" ] && break; kill -0 "$xvfb" 2>/dev/null || break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
DISPLAY=:$(cat "$work/display")
export DISPLAY QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work
bash "$here/../../scripts/sound-server.sh" start "$work/pulse"
export PULSE_SERVER=unix:$work/pulse/native
for side in game:front-left paplay:front-right; do
  pactl load-module module-remap-sink sink_name="${side%%:*}" master=glidor channels=1 channel_map=mono \
    master_channel_map="${side#*:}" remix=no >/dev/null
done
pactl set-default-sink game

parec -d glidor.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=5 >"$work/rec.raw" &
recorder=$!
# Each reading of the clock bounds where the recording's sample 0 lies; the
# earliest bound is the best. The first second goes: a new recording starts
# with a burst of what the server held.
for _ in $(seq 200); do [ -s "$work/rec.raw" ] && break; sleep 0.01; done
sleep 1
for _ in $(seq 50); do
  echo "${EPOCHREALTIME/./} $(stat -c %s "$work/rec.raw")" >>"$work/clock"
  sleep 0.02
done
zero=$(awk '{ t = $1 - $2 / 4 / 44100 * 1e6; if (NR == 1 || t < z) z = t } END { printf "%.0f", z }' "$work/clock")

# One press: the wall clock (µs), the cue's kind, and paplay started with it.
press() {
  echo "${EPOCHREALTIME/./} $1" >>"$work/presses"
  paplay -d paplay "$build/Move.wav" &
  xdotool key --window "$wid" "$2"
  sleep 0.7
}
for _ in $(seq "$starts"); do
  "$build/glidor" &
  game=$!
  wid=$(xdotool search --sync --onlyvisible --pid "$game" --name Glidor | head -n 1)
  xdotool windowfocus --sync "$wid"
  sleep 0.5
  press first space # Blanda: the shuffle's cue, the first of this run
  for key in Down Up Down Up Down Up; do press later "$key"; done
  kill "$game"; wait "$game" 2>/dev/null || true; game=''
done
sleep 0.5
kill "$recorder"; wait "$recorder" 2>/dev/null || true; recorder=''

# The first sample over -34 dB on each side after each press, in ms after the press.
sox -t raw -r 44100 -b 16 -e signed -c 2 "$work/rec.raw" -t dat - |
  awk -v zero="$zero" -v presses="$work/presses" '
    BEGIN { while ((getline line < presses) > 0) { split(line, p, " "); n++; at[n] = (p[1] - zero) / 1e6; kind[n] = p[2] } i = 1 }
    /^;/ { next }
    {
      t = $1
      while (i <= n && t >= at[i] + 0.6) i++  # a press without its cue (an arrow against the edge) is left out
      if (i > n) next
      if (t < at[i]) next
      if (!(i in g) && ($2 > .02 || $2 < -.02)) g[i] = (t - at[i]) * 1000
      if (!(i in r) && ($3 > .02 || $3 < -.02)) r[i] = (t - at[i]) * 1000
    }
    END { for (k = 1; k <= n; k++) if ((k in g) && (k in r)) printf "%s %.1f %.1f\n", kind[k], g[k], r[k] }
  ' >"$work/onsets"

median() { sort -n | awk '{ a[NR] = $1 } END { if (NR) printf "%.1f", NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2; else printf "-" }'; }
report() {
  local rows
  rows=$(grep "^$1 " "$work/onsets" || true)
  [ -n "$rows" ] || { echo "$1 cues: none heard"; exit 1; }
  printf '%-12s game %6s ms, paplay %6s ms, game minus paplay %6s ms (median of %d; worst game %s ms)\n' "$1 cue:" \
    "$(cut -d' ' -f2 <<<"$rows" | median)" "$(cut -d' ' -f3 <<<"$rows" | median)" \
    "$(awk '{ print $2 - $3 }' <<<"$rows" | median)" "$(wc -l <<<"$rows")" "$(cut -d' ' -f2 <<<"$rows" | sort -n | tail -n 1)"
}
echo "key press to onset (goal: game no later than paplay started with the press)"
report first
report later
