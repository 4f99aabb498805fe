#!/usr/bin/env bash
# Installs what is needed, builds Glidor and runs every test: the normal build, then a sanitised one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)

# The sound tests record what the game played from a PulseAudio server of our
# own with a null sink; it runs for the tests and is stopped however they end.
sound_dir=$(mktemp -d /tmp/glidor-sound.XXXXXX)
trap 'bash scripts/sound-server.sh stop "$sound_dir"; rm -rf "$sound_dir"' EXIT
bash scripts/sound-server.sh start "$sound_dir"
export PULSE_SERVER="unix:$sound_dir/native"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")
