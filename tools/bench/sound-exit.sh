#!/usr/bin/env bash
# Measures how long the sound back end lets a program take to end on a loaded machine: RUNS quits
# while a cue plays and RUNS quits while libpulse is held in a name lookup, each with two
# `yes > /dev/null` loops running beside it.
# Usage: tools/bench/sound-exit.sh BUILD_DIR [RUNS]   (RUNS is 30 by default)
#
# The program is the sound tests' soundcheck, which calls the game's own play operation and ends
# as the game does, through its exit handlers. Each quit is timed from soundcheck's last step to
# the moment its parent sees it gone, so the figures include starting `date` and waking the shell:
# they are upper bounds. soundcheck itself gives up after 100 ms (SIGALRM, status 142).
# The lookup is held in network and mount namespaces of the script's own (unshare -rnm, or -nm
# as root where user namespaces are refused), with a resolver that never answers.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
self=$here/$(basename "$0")

# Inside the namespaces: one quit each RUNS times, printing its time in µs, or its status.
if [ "${1:-}" = --quits ]; then
  shift
  runs=$1 wait=$2
  for _ in $(seq "$runs"); do
    status=0
    ./soundcheck Move.wav "@$wait" '!date +%s%N >mark' || status=$?
    end=$(date +%s%N)
    if [ "$status" = 0 ]; then echo $(((end - $(cat mark)) / 1000)); else echo "status $status"; fi
  done
  exit 0
fi
if [ "${1:-}" = --held ]; then
  shift
  ip link set lo up
  printf 'nameserver 127.0.0.1\noptions timeout:30 attempts:1\n' >resolv.conf
  echo 'hosts: dns' >nss
  mount --make-rprivate / 2>/dev/null || true
  mount --bind resolv.conf /etc/resolv.conf && mount --bind nss /etc/nsswitch.conf
  perl -MIO::Socket::INET -e 'my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1:53",
    Proto => "udp") or die; sleep' &
  resolver=$!
  sleep 0.5 # for the resolver to bind; a lookup before it would fail at once and hold nothing
  # libpulse gives up on the connection at 5 s and is then held until the lookup ends, at 30 s.
  PULSE_SERVER=tcp:sound-box.lan bash "$self" --quits "$1" 5500
  kill "$resolver"
  exit 0
fi

build=$(cd "${1:?usage: $0 BUILD_DIR [RUNS]}" && pwd)
runs=${2:-30}
if [ ! -x "$build/tests/media/sound/soundcheck" ]; then
  echo "build $build with tests first" >&2
  exit 1
fi
work=$(mktemp -d)
load=''
cleanup() {
  for pid in $load; do kill "$pid" 2>/dev/null || true; done
  bash "$here/../../scripts/sound-server.sh" stop "$work/pulse"
  rm -rf "$work"
}
trap cleanup EXIT
bash "$here/../../scripts/sound-server.sh" start "$work/pulse"
export PULSE_SERVER="unix:$work/pulse/native"
cp "$build/tests/media/sound/soundcheck" "$work/"
ln -s "$build/glidor-sound.so" "$work/"
sox -n -r 44100 -b 16 -c 1 "$work/Move.wav" synth 3 sine 500 vol .5
cd "$work"

report() {
  sort -n | awk -v what="$1" '/status/ { failed++; next } { t[n++] = $1 }
    END { if (n) printf "%s: %d quits, median %.1f ms, max %.1f ms, %d over 100 ms\n", what, n,
      t[int(n / 2)] / 1000, t[n - 1] / 1000, over + failed; else print what ": no quit timed" }
    $1 > 100000 { over++ }'
}

yes >/dev/null &
load=$!
yes >/dev/null &
load="$load $!"
bash "$self" --quits "$runs" 300 | report "while a cue plays"
flags=-rnm
unshare -rnm true 2>/dev/null || flags=-nm
unshare "$flags" --propagation unchanged bash "$self" --held "$runs" |
  report "while a lookup holds libpulse"
