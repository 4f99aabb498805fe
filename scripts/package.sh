#!/usr/bin/env bash
# Installs what is needed and builds the Debian package in build-deb/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh package
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build-deb -j"$(nproc)"
# CPack takes the modes of the package's own members from the umask.
(cd build-deb && umask 022 && cpack -G DEB)
