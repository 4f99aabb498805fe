#!/usr/bin/env bash
# Installs what is needed, builds the game alone (no tests) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# A folder of its own, so the test build in build/ keeps its tests.
cmake -S . -B build-play -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build-play -j"$(nproc)" --target glidor
exec ./build-play/glidor
