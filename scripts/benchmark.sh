#!/usr/bin/env bash
# Measures Glidor's start-up, memory, idleness and press latency against a minimal Qt window.
# Usage: scripts/benchmark.sh [BUILD_DIR]   (RUNS=20 by default; needs Xvfb and xdotool)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-20}
glidor=$build/glidor
minimal=$build/tools/bench/minimal-window
[ -x "$glidor" ] && [ -x "$minimal" ] || { echo "build $build first (targets glidor and minimal-window)"; exit 1; }

work=$(mktemp -d)
display=:$((200 + RANDOM % 500))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; kill ${game:-} 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work
mkdir -p "$work/sounds-off"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# One start: the time to the first frame on screen (ms) and the peak memory (kB).
start_once() {
  local log=$work/start.log
  rm -f "$log"
  GLIDOR_BENCH_LOG=$log GLIDOR_BENCH_EXIT=1 GLIDOR_BENCH_T0=$(date +%s%N) "$1" >/dev/null 2>&1
  awk '/^painted/ {t=$2/1e6} /^hwm/ {h=$2} END {printf "%.2f %d\n", t, h}' "$log"
}

: >"$work/g" ; : >"$work/m"
for i in $(seq "$runs"); do
  # Alternate the order, so neither program always runs on a warmer cache.
  if ((i % 2)); then start_once "$glidor" >>"$work/g"; start_once "$minimal" >>"$work/m"
  else start_once "$minimal" >>"$work/m"; start_once "$glidor" >>"$work/g"; fi
done
gt=$(cut -d' ' -f1 "$work/g" | median); mt=$(cut -d' ' -f1 "$work/m" | median)
gh=$(cut -d' ' -f2 "$work/g" | median); mh=$(cut -d' ' -f2 "$work/m" | median)
echo "machine:           $(nproc) cores, $(awk '/model name/ {$1=$2=$3=""; print; exit}' /proc/cpuinfo | sed 's/^ *//')"
echo "runs:              $runs of each, alternating"
awk -v g="$gt" -v m="$mt" 'BEGIN {printf "start-up (median): glidor %.1f ms, minimal window %.1f ms, ratio %.3f (goal <= 1.1)\n", g, m, g / m}'
awk -v g="$gh" -v m="$mh" 'BEGIN {printf "peak memory:       glidor %d kB, minimal window %d kB, difference %.2f MB (goal <= 2)\n", g, m, (g - m) / 1024}'

# Idle: a started game left alone for ten seconds.
log=$work/idle.log
GLIDOR_BENCH_LOG=$log "$glidor" >/dev/null 2>&1 &
game=$!
for _ in $(seq 100); do grep -q '^painted' "$log" 2>/dev/null && break; sleep 0.05; done
sleep 1
cpu() { awk '{print $14 + $15}' "/proc/$game/stat"; }
switches() { cat /proc/"$game"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'; }
frames() { grep -c '^flush' "$log" || true; }
c0=$(cpu); s0=$(switches); f0=$(frames)
sleep 10
c1=$(cpu); s1=$(switches); f1=$(frames)
echo "idle 10 s:         cpu $((c1 - c0)) ticks, wakeups $((s1 - s0)), repaints $((f1 - f0)) (goal: 0, 0, 0)"

# Presses: deal a game with Space on the focused button, then press every square
# once; the squares in line with the gap move, and each repaint is timed.
wid=$(xdotool search --sync --pid "$game" --name 'Glidor av Brickmakare' | head -n 1)
height=$(xdotool getwindowgeometry "$wid" | awk -F'[x ]' '/Geometry/ {print $NF}')
menu=$((height - 191))
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
xdotool key --window "$wid" space
sleep 1
: >"$log.mark"; echo mark >>"$log"
for k in $(seq 16); do
  col=$(((k - 1) % 4 + 1)); row=$(((k - 1) / 4 + 1))
  xdotool mousemove --window "$wid" $((32 * col + 16)) $((32 * row + 16 + menu)) click 1
  sleep 0.2
done
awk '/^mark/ {on=1; next} on && /^press/ {p=$2; next} on && /^flush/ && p {print ($2 - p) / 1e6; p=0}' "$log" >"$work/lat"
n=$(wc -l <"$work/lat")
if [ "$n" -gt 0 ]; then
  printf 'press to repaint:  median %.3f ms, worst %.3f ms over %d moving presses (goal <= 2)\n' \
    "$(median <"$work/lat")" "$(sort -n "$work/lat" | tail -n 1)" "$n"
else
  echo "press to repaint:  no press moved a tile"
fi
