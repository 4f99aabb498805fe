#!/usr/bin/env bash
# Builds the Debian package and checks its contents, its dependencies and that it starts.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/glidor_*_*.deb) || fail "no package built"

depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libpulse0 libsndfile1 fonts-comic-neue fonts-dejavu-core; do
  grep -q "$dep" <<<"$depends" || fail "package does not depend on $dep: $depends"
done
contents=$(dpkg-deb -c "$deb")
for f in ./usr/lib/glidor/glidor ./usr/lib/glidor/Move.wav ./usr/lib/glidor/Done.wav \
         ./usr/share/applications/se.brickmakare.Glidor.desktop \
         ./usr/share/metainfo/se.brickmakare.Glidor.metainfo.xml; do
  grep -q " $f" <<<"$contents" || fail "package lacks $f"
done
grep -q './usr/bin/glidor -> ../lib/glidor/glidor' <<<"$contents" || fail "package lacks the bin/glidor link"

# The unpacked program starts through its link and keeps running until stopped.
dpkg-deb -x "$deb" "$out/root"
status=0
QT_QPA_PLATFORM=offscreen timeout 3 "$out/root/usr/bin/glidor" >"$out/log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$out/log"; fail "unpacked program ended with status $status"; }
[ ! -s "$out/log" ] || { cat "$out/log"; fail "unpacked program printed something"; }
echo "package OK: $(basename "$deb")"
