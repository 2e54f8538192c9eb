#!/usr/bin/env bash
# Proves that an installed linexml can be used, and moved: builds the library alone (the library
# preset: tests and tool off, with GTest, CLI11, nlohmann_json and Threads made unfindable, so nothing else can be
# needed), installs it into a temporary prefix, moves that prefix elsewhere, and builds and runs
# examples/consumer against the moved copy through find_package (CMAKE_PREFIX_PATH) and through
# pkg-config (PKG_CONFIG_PATH).
# Usage: scripts/consumer.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
jobs="$(nproc)"
# Runs a command quietly; shows its output only when it fails.
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log"; return 1; }; }
fail() { echo "consumer.sh: $*" >&2; exit 1; }

echo "-- the library alone, installed into a temporary prefix"
quiet cmake --preset library -B "$work/build" -DCMAKE_INSTALL_PREFIX="$work/installed" \
      -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON \
      -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON -DCMAKE_DISABLE_FIND_PACKAGE_Threads=ON
quiet cmake --build "$work/build" --parallel "$jobs"
quiet cmake --install "$work/build"
# What a library-only build installs: headers, the library, the CMake and pkg-config files.
if grep -v -e "^$work/installed/include/linexml/" -e "^$work/installed/lib/" \
     "$work/build/install_manifest.txt"; then
  fail "the library-only build installed more than the library (above)"
fi

echo "-- the prefix moved elsewhere"
mv "$work/installed" "$work/moved"
prefix="$work/moved"
if grep -rl "$work/installed" "$prefix"; then fail "these installed files name the old prefix (above)"; fi

echo "-- examples/consumer through find_package"
quiet cmake -S examples/consumer -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_PREFIX_PATH="$prefix"
quiet cmake --build "$work/consumer"
"$work/consumer/consumer" examples/catalog.xml "$work/out-cmake.xml"
grep -q '^<catalog .* reviewed="yes">$' "$work/out-cmake.xml" ||
  fail "the consumer's edit is not in its output"

echo "-- examples/consumer through pkg-config"
pcdir="$(dirname "$(find "$prefix" -name linexml.pc -print -quit)")"
flags="$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs linexml)"
case "$flags" in
  *"-I$prefix/"*) ;;
  *) fail "pkg-config gives '$flags', which does not point into the moved prefix" ;;
esac
case "$flags" in
  *-std=*) fail "pkg-config gives '$flags': the language standard is the user's to choose" ;;
esac
# The headers need C++20 or later; a later standard must work as well.
# shellcheck disable=SC2086  # the flags are meant to split into words
c++ -std=c++2b -o "$work/consumer-pc" examples/consumer/main.cpp $flags
"$work/consumer-pc" examples/catalog.xml "$work/out-pc.xml"
cmp "$work/out-cmake.xml" "$work/out-pc.xml"
echo "-- consumers ok"
