#!/usr/bin/env bash
# Runs clang-tidy with the repository's .clang-tidy over the library's sources (src/), installing
# clang-tidy when missing; any finding fails. With --complexity it instead lists the functions
# whose cognitive complexity passes 25 (a report, not a gate).
# Usage: scripts/tidy.sh [--complexity]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh clang-tidy
build=build/tidy
# Configured only: clang-tidy needs the compile commands, not the objects.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DLINEXML_TESTS=OFF -DLINEXML_TOOLS=OFF -DLINEXML_INSTALL=OFF >/dev/null
jobs=$(( $(nproc) < 2 ? 1 : 2 ))
if [ "${1:-}" = "--complexity" ]; then
  run-clang-tidy -p "$build" -j "$jobs" -quiet \
    -checks='-*,readability-function-cognitive-complexity' "$PWD/src/" 2>/dev/null |
    grep 'cognitive complexity' | sort -u || true
  exit 0
fi
run-clang-tidy -p "$build" -j "$jobs" -quiet "$PWD/src/"
