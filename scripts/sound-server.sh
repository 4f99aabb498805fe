#!/usr/bin/env bash
# Starts or stops a private PulseAudio server whose one output is a null sink, for the sound tests.
#
#   sound-server.sh start DIR [IDLE]  starts it with its socket, log and home in
#                                     DIR (made 0700, so it can be a runtime
#                                     folder too), in place of one an earlier
#                                     run left there; then
#                                     PULSE_SERVER=unix:DIR/native reaches it.
#                                     With IDLE it also ends by itself IDLE
#                                     seconds after its last client.
#   sound-server.sh stop DIR          stops it
#
# Its null sink, glidor, is the default sink: what a client plays can be recorded
# from its monitor, @DEFAULT_MONITOR@ (as the sound tests do) or glidor.monitor.
set -euo pipefail

action=${1:-}
dir=${2:-}
idle=${3:--1}
[ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

case "$action" in
start)
  [ ! -f "$dir/pid" ] || bash "$0" stop "$dir"
  mkdir -p "$dir"
  chmod 700 "$dir"
  dir=$(cd "$dir" && pwd)
  # A home and runtime folder of its own keep it away from any user's server.
  # -n skips the default set-up; running as root needs no --system for a
  # private server like this one, only the warning it prints into the log.
  HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir" \
    pulseaudio -n --daemonize=no --exit-idle-time="$idle" --use-pid-file=no \
      --disable-shm=yes --log-target=stderr \
      --load="module-null-sink sink_name=glidor rate=44100 channels=2" \
      --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
      >"$dir/log" 2>&1 </dev/null &
  echo $! >"$dir/pid"
  for _ in $(seq 100); do
    if PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then
      PULSE_SERVER="unix:$dir/native" pactl set-default-sink glidor
      exit 0
    fi
    kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "sound-server.sh: the PulseAudio server did not start; its log:" >&2
  cat "$dir/log" >&2
  exit 1
  ;;
stop)
  [ -f "$dir/pid" ] || exit 0
  pid=$(cat "$dir/pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  rm -f "$dir/pid"
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
