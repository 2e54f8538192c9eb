#!/usr/bin/env bash
# Formats every C++ file with the repository's .clang-format, or with --check only reports the files
# that differ (and exits 1), as CI does.
# Usage: scripts/format.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh clang-format
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
