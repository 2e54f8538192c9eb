#!/usr/bin/env bash
# Builds the Debian packages (the deb presets: cpack -G DEB) into build/deb/packages, then checks them:
# installs them with dpkg into a throw-away root, runs the installed tool, finds its man page and
# completions, builds and runs examples/consumer against the installed library through find_package
# and through pkg-config, and removes the packages again.
#   static library (default): liblinexml-dev (headers, liblinexml.a, CMake and pkg-config files)
#                             and linexml (the tool, its man page and completions)
#   --shared: liblinexml0 (liblinexml.so.0) as well, which the other two then depend on; built in
#             build/deb-shared, packages in build/deb-shared/packages
# The throw-away root has a dpkg database of its own that lists, from this machine's, just the
# packages that ours depend on, so dpkg checks the declared dependencies against what is installed
# here while every file goes into the root.
# Usage: scripts/deb.sh [--shared]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh go-md2man dpkg-dev file

shared=false
case "${1:-}" in
  "") ;;
  --shared) shared=true ;;
  *) echo "usage: scripts/deb.sh [--shared]" >&2; exit 2 ;;
esac
werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log"; return 1; }; }
fail() { echo "deb.sh: $*" >&2; exit 1; }

if $shared; then
  build=build/deb-shared
  echo "-- building the packages (cmake --preset deb -DBUILD_SHARED_LIBS=ON, cpack)"
  rm -rf "$build/packages"
  quiet cmake --preset deb -B "$build" -DBUILD_SHARED_LIBS=ON -DLINEXML_WERROR="$werror"
  quiet cmake --build "$build"
  (cd "$build" && quiet cpack -G DEB -B packages)
else
  build=build/deb
  echo "-- building the packages (cmake --preset deb, cpack --preset deb)"
  rm -rf "$build/packages"
  quiet cmake --preset deb -DLINEXML_WERROR="$werror"
  quiet cmake --build --preset deb
  quiet cpack --preset deb
fi
mapfile -t debs < <(find "$build/packages" -maxdepth 1 -name '*.deb' | sort)
((${#debs[@]} > 0)) || fail "cpack made no package"
for deb in "${debs[@]}"; do
  echo "   $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done

echo "-- installing them with dpkg into a throw-away root"
root="$work/root"
admin="$root/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/available" "$admin/status"
for deb in "${debs[@]}"; do
  dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed -e 's/(.*//' -e 's/[[:space:]]//g'
done | { grep . || true; } | sort -u | while read -r dep; do
  dpkg-query -s "$dep" >>"$admin/status" 2>/dev/null || continue
  echo >>"$admin/status"
  touch "$admin/info/$(dpkg-query -W -f='${binary:Package}' "$dep").list"
done
# The root has no shell to run a maintainer script in (the shared library's package calls ldconfig),
# so scripts run outside it, and with a stand-in ldconfig: the root has no loader cache to update.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/ldconfig"
chmod +x "$work/bin/ldconfig"
in_root() { PATH="$work/bin:$PATH" dpkg --root="$root" --log=/dev/null --force-not-root --force-script-chrootless "$@"; }
quiet in_root -i "${debs[@]}"
for deb in "${debs[@]}"; do
  package="$(dpkg-deb -f "$deb" Package)"
  dpkg-query --admindir="$admin" -W -f='${Status}\n' "$package" | grep -q "install ok installed" ||
    fail "$package is not installed in the throw-away root"
done

usr="$root/usr"
version="$(sed -n 's/^#define LINEXML_VERSION_STRING "\(.*\)"/\1/p' include/linexml/version.h)"
test "$("$usr/bin/linexml" --version)" = "$version" || fail "the installed tool is not version $version"
"$usr/bin/linexml" check examples/catalog.xml >/dev/null
zcat "$usr/share/man/man1/linexml.1.gz" | grep -q '^\.TH LINEXML 1 .*'"$version" ||
  fail "no man page linexml(1) of version $version"
test -f "$usr/share/bash-completion/completions/linexml" || fail "no bash completion"
test -f "$usr/share/zsh/vendor-completions/_linexml" || fail "no zsh completion"

echo "-- examples/consumer against the installed packages"
quiet cmake -S examples/consumer -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_PREFIX_PATH="$usr"
quiet cmake --build "$work/consumer"
"$work/consumer/consumer" examples/catalog.xml "$work/out-cmake.xml" >/dev/null
test "$("$usr/bin/linexml" get "$work/out-cmake.xml" catalog reviewed)" = yes ||
  fail "the installed tool does not see the consumer's edit"
pcdir="$(dirname "$(find "$usr" -name linexml.pc -print -quit)")"
# The .pc file leaves the language standard to the user; the headers need C++20 or later.
# shellcheck disable=SC2046  # the flags are meant to split into words
c++ -std=c++20 -o "$work/consumer-pc" examples/consumer/main.cpp $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs linexml)
# The tool and the CMake-built consumer find a shared liblinexml in the root by their RPATH; this one
# is told where it is.
LD_LIBRARY_PATH="$(dirname "$pcdir")" "$work/consumer-pc" examples/catalog.xml "$work/out-pc.xml" >/dev/null
cmp "$work/out-cmake.xml" "$work/out-pc.xml"

echo "-- removing them again"
packages=()
for deb in "${debs[@]}"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done
quiet in_root --purge "${packages[@]}"
left="$(find "$root" -path "$admin" -prune -o -type f -print | head)"
[ -z "$left" ] || fail "files left after removing the packages: $left"
echo "-- packages ok: ${debs[*]}"
