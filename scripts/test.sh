#!/usr/bin/env bash
# Sets up, builds and runs the tests.
# Usage: scripts/test.sh [debug|asan|tsan|release|clang] [extra ctest arguments, e.g. -R Threads]
# Under CI=true the warning-as-error variant of the preset is used.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
preset="${1:-debug}"
shift || true
if [ "${CI:-}" = "true" ] && [[ "$preset" != ci-* ]]; then preset="ci-$preset"; fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)" "$@"
