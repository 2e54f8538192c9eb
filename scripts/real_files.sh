#!/usr/bin/env bash
# Compares linexml's reading of the well-formed XML files on this machine with an XML reader's, and
# counts the files read differently without a warning on the lines of the difference.
# Usage: scripts/real_files.sh [BUILD_DIR] [linexml_compare_files options, e.g. --verbose]
#   BUILD_DIR  a build with the tests (default build/debug; scripts/test.sh makes it)
# The files are those under /usr/share and /etc that begin like XML and that xmllint reads.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/debug}"
shift || true
compare="$build/fuzz/linexml_compare_files"
[ -x "$compare" ] || { echo "no $compare: build the tests first (scripts/test.sh)" >&2; exit 2; }
list=$(mktemp)
trap 'rm -f "$list"' EXIT
find /usr/share /etc -xdev -type f -size -8M -readable 2>/dev/null | sort | "$compare" --candidates |
  while IFS= read -r f; do
    if xmllint --noout --nonet "$f" >/dev/null 2>&1; then printf '%s\n' "$f"; fi
  done >"$list"
"$compare" "$@" <"$list"
