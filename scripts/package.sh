#!/usr/bin/env bash
# Installs what is needed and builds the Debian package in build-deb/, with the
# flags that Debian's own build of a package gets on this release, as debhelper
# hands them to CMake: those of dpkg-buildflags, all hardening included, and
# CMAKE_BUILD_TYPE=None, so that the project adds no flags of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh package
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS; debhelper adds them to the compiler's flags.
# shellcheck disable=SC2153 # set by the eval above
export CXXFLAGS="$CXXFLAGS $CPPFLAGS"
rm -rf build-deb # CMake reads the flags at the first configure only
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF
cmake --build build-deb -j"$(nproc)"
# CPack gives the package's own three members (debian-binary, control.tar and
# data.tar) the modes of the umask, where dpkg-deb gives them 0644 whatever it
# is; the files and folders inside get theirs from the build (stage.cmake).
(cd build-deb && umask 022 && cpack -G DEB)
