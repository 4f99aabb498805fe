#!/usr/bin/env bash
# Checks what an install of the build holds, as a desktop and a software centre
# see it. Usage: check-install.sh BUILD_DIR SANITIZED PROGRAM_DIR LINK_DIR APP_ID ICON_SIZE...
# (the two folders relative to the prefix; SANITIZED 1 for a build with the sanitizers)
set -euo pipefail
build=$1 sanitized=$2 program_dir=$3 link_dir=$4 app=$5
shift 5
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
src=$(cd "$(dirname "$0")/../.." && pwd)

DESTDIR=$out/root cmake --install "$build" --prefix /usr >/dev/null
cd "$out/root/usr"

# The program sits with its sound module and sound files; a link starts it.
ls "$program_dir"/{glidor,glidor-sound.so,Move.wav,Done.wav} >/dev/null || fail "files missing"
[ "$(realpath "$link_dir/glidor")" = "$PWD/$program_dir/glidor" ] || fail "$link_dir/glidor strays"
# No trace of the machine that built it: neither the source nor the build folder,
# not even in the debugging information (the build id is made from it). The
# sanitizers write the source's paths into their reports, so they keep them.
if [ "$sanitized" != 1 ]; then
  ! grep -rlaF -e "$src" -e "$(cd "$build" && pwd)" . || fail "build path"
fi

desktop=share/applications/$app.desktop
desktop-file-validate "$desktop" || fail "desktop entry rejected"
# The tree as a software centre reads it: the metainfo, and the desktop entry
# its launchable names (a tree with no metainfo at all gets a note too).
# Nothing to say but, from AppStream 1.0 on, that there is no homepage (there
# is none).
appstreamcli validate-tree --no-net --pedantic "$out/root" >"$out/as" 2>&1 || :
! grep -E '^ *[A-Z]: ' "$out/as" | grep -v ': url-homepage-missing$' || fail "AppStream metadata"
# The menu entry names its icon, drawn for every size.
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in "$@"; do
  [ "$(file -b "share/icons/hicolor/${size}x$size/apps/$icon.png" | cut -d, -f1-2)" = \
    "PNG image data, $size x $size" ] || fail "no $size icon named '$icon'"
done
man_page=$(find share/man -type f)
[ "$man_page" = share/man/man6/glidor.6 ] || fail "man page: $man_page"

# The sound module is opened only at the first sound: its libraries must be there.
! ldd "$program_dir/glidor-sound.so" | grep 'not found' || fail "the sound module lacks libraries"
# The installed program starts through its link and runs without a word on stderr.
got=$(XDG_RUNTIME_DIR=$out QT_QPA_PLATFORM=offscreen timeout 3 "$link_dir/glidor" 2>&1; echo "/$?")
[ "$got" = /124 ] || fail "printed, then status: $got"
echo "install OK"
