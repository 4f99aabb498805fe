#!/usr/bin/env bash
# Installs the build into a scratch folder and checks what a desktop needs of it.
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr=$root/usr
app=se.brickmakare.Glidor
fail() { echo "FAIL: $*"; exit 1; }

# The program sits with its sound files and sound module; bin/ links to it.
for f in glidor Move.wav Done.wav; do
  [ -f "$usr/lib/glidor/$f" ] || fail "lib/glidor/$f missing"
done
[ -x "$usr/lib/glidor/glidor" ] || fail "program not executable"
[ "$(readlink "$usr/bin/glidor")" = ../lib/glidor/glidor ] || fail "bin/glidor is not a link to ../lib/glidor/glidor"
[ -e "$usr/bin/glidor" ] || fail "bin/glidor points nowhere"

desktop=$usr/share/applications/$app.desktop
desktop-file-validate "$desktop" || fail "desktop entry rejected"
grep -qx 'Exec=glidor' "$desktop" || fail "desktop entry does not start glidor"
grep -qx "Icon=$app" "$desktop" || fail "desktop entry names another icon"
appstreamcli validate --no-net "$usr/share/metainfo/$app.metainfo.xml" >/dev/null || fail "AppStream metadata rejected"

# Each icon is a PNG of the size its folder names.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $3*256+$4 "x" $7*256+$8}'; }
for size in 32 64 128 256; do
  icon=$usr/share/icons/hicolor/${size}x$size/apps/$app.png
  [ -f "$icon" ] || fail "icon $size missing"
  [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "icon $size is not a PNG"
  [ "$(png_size "$icon")" = "${size}x$size" ] || fail "icon $size is $(png_size "$icon")"
done
echo "install tree OK"
