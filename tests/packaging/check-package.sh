#!/usr/bin/env bash
# Checks the Debian package of a build, and so its install rules, which CPack
# runs. Usage: check-package.sh BUILD_DIR PROGRAM_DIR LINK_DIR FLAGS APP_ID ICON_SIZE...
# (the two folders relative to the prefix; FLAGS: debian, plain or sanitize, what the build had)
set -euo pipefail
build=$1 program_dir=$2 link_dir=$3 flags=$4 app=$5
shift 5
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
src=$(cd "$(dirname "$0")/../.." && pwd)

# Built under a umask that would show in any folder's mode; every file and
# folder is dated by the last commit (or the caller's SOURCE_DATE_EPOCH).
(cd "$build" && umask 077 && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/glidor_*_*.deb) || fail "no package built"
epoch=${SOURCE_DATE_EPOCH:-$(git -c safe.directory="$src" -C "$src" log -1 --format=%ct ||
  dpkg-parsechangelog -l "$src/packaging/changelog" -STimestamp)}
dpkg-deb --fsys-tarfile "$deb" | TZ=UTC tar -tv --full-time >"$out/members"
! grep -v " $(date -u -d "@$epoch" '+%F %T') " "$out/members" || fail "members not dated $epoch"
! grep -v -e '^drwxr-xr-x' -e '^[-l]' "$out/members" || fail "folders not 0755"
# Lintian must say nothing (it misses a man page, changelog or copyright file
# too), notes and pedantic ones included, but that a build without Debian's
# flags lacks their hardening, and that the AppStream metadata has no homepage
# (Debian 13 and later; checked below too).
lintian --pedantic -I --tag-display-limit 0 "$deb" 2>/dev/null >"$out/lintian" || true
allowed='appstream-metadata-validation-failed'
[ "$flags" = debian ] || allowed="$allowed|hardening-"
! grep -E '^[A-Z]: ' "$out/lintian" | grep -vE "^.: glidor: ($allowed)" || fail "lintian"
for dep in libqt6widgets6 libpulse0 libsndfile1 fonts-comic-neue fonts-dejavu-core; do
  dpkg-deb -f "$deb" Depends | grep -q "$dep" || fail "package does not depend on $dep"
done
dpkg-deb -x "$deb" "$out/root"
# No trace of the machine that built it: neither the source nor the build folder,
# not even in the build's own program and module, which keep their debugging
# information (the build id, which stays in the package, is made from it).
if [ "$flags" != sanitize ]; then
  ! grep -rlaF -e "$src" -e "$build" "$out/root" "$build"/glidor{,-sound.so} || fail "build path"
fi
cd "$out/root/usr"

# The program sits with its sound module and sound files; a link starts it.
ls "$program_dir"/{glidor,glidor-sound.so,Move.wav,Done.wav} >/dev/null || fail "files missing"
[ "$(realpath "$link_dir/glidor")" = "$PWD/$program_dir/glidor" ] || fail "$link_dir/glidor strays"

desktop=share/applications/$app.desktop
desktop-file-validate "$desktop" || fail "desktop entry rejected"
# Nothing to say but, from Debian 13 on, that there is no homepage (there is none).
appstreamcli validate --no-net --pedantic "share/metainfo/$app.metainfo.xml" >"$out/as" 2>&1 || :
! grep -E '^[A-Z]: ' "$out/as" | grep -v ': url-homepage-missing$' || fail "AppStream metadata"
# The menu entry names its icon, drawn for every size (the software centre's
# entry and the menu entry are made from one app id).
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in "$@"; do
  [ "$(file -b "share/icons/hicolor/${size}x$size/apps/$icon.png" | cut -d, -f1-2)" = \
    "PNG image data, $size x $size" ] || fail "no $size icon named '$icon'"
done

# The sound module is opened only at the first sound: its libraries must be there.
! ldd "$program_dir/glidor-sound.so" | grep 'not found' || fail "the sound module lacks libraries"
# The installed program starts through its link and runs without a word on stderr.
got=$(XDG_RUNTIME_DIR=$out QT_QPA_PLATFORM=offscreen timeout 3 "$link_dir/glidor" 2>&1; echo "/$?")
[ "$got" = /124 ] || fail "printed, then status: $got"
echo "package OK"
