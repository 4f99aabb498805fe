#!/usr/bin/env bash
# Runs the program as a Wayland client of Weston's headless compositor and reads what it asked for.
# Usage: wayland-client.sh PROGRAM DESKTOP_ENTRY (GLIDOR_PROGRAM, where set, names another program)
set -euo pipefail
program=${GLIDOR_PROGRAM:-$1} entry=$2
run=$(mktemp -d) # 0700, as a runtime folder must be
trap 'kill $weston 2>/dev/null; wait 2>/dev/null; rm -rf "$run"' EXIT
fail() { echo "FAIL: $*"; cat "$run/weston.log"; exit 1; }
export XDG_RUNTIME_DIR=$run
weston --backend=headless-backend.so --socket=glidor-test --idle-time=0 >"$run/weston.log" 2>&1 &
weston=$!
for _ in $(seq 50); do [ -S "$run/glidor-test" ] && break; sleep 0.1; done
[ -S "$run/glidor-test" ] || fail "weston did not start"

# The protocol log shows the window's requests; the program must still be running at the end,
# having printed nothing, with no locale set. Without a title bar of Qt's own, the sizes asked for
# are the window's.
status=$(env -u DISPLAY -u LANG -u LC_ALL -u LC_CTYPE WAYLAND_DISPLAY=glidor-test \
  QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 QT_WAYLAND_DISABLE_WINDOWDECORATION=1 \
  timeout 4 "$program" >/dev/null 2>"$run/log"; echo $?)
{ [ "$status" -eq 124 ] && ! grep -v '^\[' "$run/log"; } || fail "status $status, or words printed"
grep -q 'wl_surface[@#][0-9]*\.attach(wl_buffer' "$run/log" || fail "no frame was shown"
app_id=$(sed -n 's/.*set_app_id("\(.*\)")/\1/p' "$run/log")
[ "$app_id.desktop" = "$(basename "$entry")" ] || fail "app id '$app_id' names no entry"
# Not resizable: as small as it is large, 307 wide, a menu bar above the 191 high client area.
min=$(sed -n 's/.*set_min_size(\(.*\))/\1/p' "$run/log" | tail -n 1)
max=$(sed -n 's/.*set_max_size(\(.*\))/\1/p' "$run/log" | tail -n 1)
[[ $min == "$max" && $min =~ ^307,\ (19[2-9]|2[0-3][0-9])$ ]] || fail "from $min to $max"
echo "wayland OK: $app_id, $min"
