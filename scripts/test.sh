#!/usr/bin/env bash
# Installs what is needed, builds Glidor and runs every test: the normal build, then a sanitised one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh tests

jobs=$(nproc)

# ctest starts a sound server of the tests' own (tests/CMakeLists.txt), so no
# test plays on this machine's speakers.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

# The same tests again, built with Clang's AddressSanitizer and
# UndefinedBehaviorSanitizer (LeakSanitizer included), plus the fuzz target of
# the sound decoder. Leaks inside system libraries are listed in tests/lsan.supp,
# and the count of those found is not printed at exit: the tests read what the
# game prints.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
# Qt 6.8 asks the desktop portal for its settings over D-Bus as it starts, and
# where nothing answers (no session bus, as here) it leaves what waited for the
# answer behind at exit, which LeakSanitizer would lay at the game's door. The
# portal's settings are nothing the game or its tests use.
export QT_NO_XDG_DESKTOP_PORTAL=1
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON -DGLIDOR_SANITIZE=ON -DGLIDOR_FUZZ=ON
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure -j"$jobs")
