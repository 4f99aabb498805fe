#!/usr/bin/env bash
# Fails on any C++ file that the root .clang-format would change and on
# anything shellcheck finds in the shell scripts. Versions of clang-format lay
# out a few constructs differently: Debian 12's (clang-format 14) is the one
# whose layout counts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh lint
status=0
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror || status=1
# The shell scripts: *.sh, CI's entry point and autopkgtest's tests.
{ git ls-files -z '*.sh' 'debian/tests/*' ':!debian/tests/control'; printf '.ci/run\0'; } |
  xargs -0 shellcheck || status=1
[ "$status" -eq 0 ] && echo "lint OK: clang-format $(clang-format --version | grep -o '[0-9.]*' | head -1), shellcheck"
exit "$status"
