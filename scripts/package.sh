#!/usr/bin/env bash
# Installs what the build needs and builds Glidor's Debian packages in
# build-deb/: first the source package from this tree, then, from that source
# unpacked anew (as Debian's build machines take it), the binary packages with
# dpkg-buildpackage and debhelper, the build-time tests included. Any
# DEB_BUILD_OPTIONS given are passed on (nocheck skips the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh package
rm -rf build-deb
mkdir build-deb
cd build-deb
dpkg-source --build ..
dpkg-source --extract glidor_*.dsc source
cd source
dpkg-buildpackage --no-sign
