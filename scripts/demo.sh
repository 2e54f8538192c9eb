#!/usr/bin/env bash
# The quick start's main job: installs what is missing, builds the release preset's tool and man page,
# runs the linexml tool on the shipped example (check, get, format), and says how to install it.
# Usage: scripts/demo.sh   (LINEXML_BUILD_DIR=DIR builds in DIR instead of build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh go-md2man

build="${LINEXML_BUILD_DIR:-build/release}"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# Only the tool (and its man page, for installing) is needed here; scripts/test.sh builds and runs
# everything else.
if ! { cmake --preset release -B "$build" -DLINEXML_MAN=ON &&
       cmake --build "$build" --target linexml_cli linexml_man --parallel "$(nproc)"; } >"$log" 2>&1; then
  cat "$log"
  exit 1
fi

linexml="$build/tools/linexml"
example=examples/catalog.xml
show() {
  echo "\$ linexml $*"
  "$linexml" "$@"
  echo
}

show check "$example"
show get "$example" address city
show get "$example" hours
echo "\$ linexml format $example | head -n 24"
"$linexml" format "$example" >"$log"
head -n 24 "$log"
echo "... ($(wc -l <"$log") lines)"
echo
echo "\$ linexml format $example | linexml check -"
"$linexml" format "$example" | "$linexml" check -
echo
echo "The tool is $linexml (see its --help). To install it with its man page, shell completions"
echo "and the library into ~/.local (or, as root, into /usr/local: leave out --prefix):"
echo "  cmake --install $build --prefix ~/.local"
