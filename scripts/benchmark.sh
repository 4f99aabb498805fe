#!/usr/bin/env bash
# Measures Glidor's start-up, memory, idleness and press latency against a minimal Qt window, from outside.
# Usage: scripts/benchmark.sh   (RUNS=20 starts of each by default)
# Installs what it needs and builds the game with the benchmark's tools in build-bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-20}
build="build-bench"
bash scripts/setup.sh bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DBUILD_BENCHMARKING=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
glidor=$build/glidor
minimal=$build/tools/bench/minimal-window
xwatch=$build/tools/bench/xwatch

work=$(mktemp -d)
xvfb=
cleanup() {
  [ -z "$xvfb" ] || { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
chmod 700 "$work"

# The server picks a display that is free and writes its number once it is ready.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; kill -0 "$xvfb" 2>/dev/null || break; sleep 0.1; done
[ -s "$work/display" ] || { echo "benchmark.sh: Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
DISPLAY=:$(cat "$work/display")
export DISPLAY QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

: >"$work/g"; : >"$work/m"
for i in $(seq "$runs"); do
  # Alternate the order, so neither program always runs on a warmer cache.
  if ((i % 2)); then "$xwatch" start "$glidor" >>"$work/g"; "$xwatch" start "$minimal" >>"$work/m"
  else "$xwatch" start "$minimal" >>"$work/m"; "$xwatch" start "$glidor" >>"$work/g"; fi
done
gt=$(cut -d' ' -f1 "$work/g" | median); mt=$(cut -d' ' -f1 "$work/m" | median)
gh=$(cut -d' ' -f2 "$work/g" | median); mh=$(cut -d' ' -f2 "$work/m" | median)
echo "machine:           $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)"
echo "runs:              $runs of each, alternating; first frame = first paint of the whole window"
awk -v g="$gt" -v m="$mt" 'BEGIN {printf "start-up (median): glidor %.1f ms, minimal window %.1f ms, ratio %.3f (goal <= 1.1)\n", g, m, g / m}'
awk -v g="$gh" -v m="$mh" 'BEGIN {printf "peak memory:       glidor %d kB, minimal window %d kB, difference %.2f MB (goal <= 2)\n", g, m, (g - m) / 1024}'

# A game left alone for ten seconds, then Space and a press on every square.
"$xwatch" session "$glidor" >"$work/session"
read -r _ cpu wakeups repaints < <(grep '^idle' "$work/session")
echo "idle 10 s:         cpu $cpu ticks, wakeups $wakeups, repaints $repaints (goal: 0, 0, 0)"
awk '/^press/ {print $2}' "$work/session" >"$work/lat"
printf 'press to repaint:  median %.3f ms, worst %.3f ms over %d presses that moved a tile\n' \
  "$(median <"$work/lat")" "$(sort -n "$work/lat" | tail -n 1)" "$(wc -l <"$work/lat")"

# The sound cues' own latency.
bash tools/bench/cue-latency.sh "$build"
