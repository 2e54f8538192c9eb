#!/usr/bin/env bash
# Sets up, builds and runs the tests.
# Usage: scripts/test.sh [debug|asan|tsan|release|clang] [extra ctest arguments, e.g. -R Threads]
# Under CI=true warnings are errors (LINEXML_WERROR=ON); elsewhere they are only shown.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
preset="${1:-debug}"
shift || true
werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
cmake --preset "$preset" -DLINEXML_WERROR="$werror" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)" "$@"
