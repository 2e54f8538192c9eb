#!/usr/bin/env bash
# Installs linexml into a temporary prefix and builds examples/consumer against it, once through
# find_package (CMAKE_PREFIX_PATH) and once through pkg-config (PKG_CONFIG_PATH), running both.
# Usage: scripts/consumer.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
jobs="$(nproc)"
# Runs a command quietly; shows its output only when it fails.
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log"; return 1; }; }

echo "-- installing linexml into a temporary prefix"
quiet cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLINEXML_TESTS=OFF \
      -DCMAKE_INSTALL_PREFIX="$prefix"
quiet cmake --build "$work/build" --parallel "$jobs"
quiet cmake --install "$work/build"

echo "-- examples/consumer through find_package"
quiet cmake -S examples/consumer -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_PREFIX_PATH="$prefix"
quiet cmake --build "$work/consumer"
"$work/consumer/consumer" examples/catalog.xml "$work/out-cmake.xml"
test "$("$prefix/bin/linexml" get "$work/out-cmake.xml" catalog reviewed)" = yes ||
  { echo "the installed linexml does not see the consumer's edit" >&2; exit 1; }

echo "-- examples/consumer through pkg-config"
pcdir="$(dirname "$(find "$prefix" -name linexml.pc -print -quit)")"
# shellcheck disable=SC2046  # the flags are meant to split into words
c++ -o "$work/consumer-pc" examples/consumer/main.cpp \
    $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs linexml)
"$work/consumer-pc" examples/catalog.xml "$work/out-pc.xml"
cmp "$work/out-cmake.xml" "$work/out-pc.xml"
echo "-- consumers ok"
