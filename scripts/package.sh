#!/usr/bin/env bash
# Builds the Debian package ondrel and its debug symbols (ondrel-dbgsym) from
# debian/ with dpkg-buildpackage, into build-package/ or the folder given as
# first argument. The sources are copied there first (without build folders),
# so that the checkout stays clean and the packages land in that folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-package}
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
src=$build/ondrel-${version%-*}
rm -rf "$build"
mkdir -p "$src"
tar -C "$root" --exclude-vcs --exclude='./build*' -cf - . | tar -C "$src" -xf -
# debhelper gives the build a HOME of its own: ccache keeps the usual cache.
export CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache} CCACHE_BASEDIR=$src
(cd "$src" && dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$build/build.log" 2>&1 \
  || { tail -40 "$build/build.log" >&2; echo "dpkg-buildpackage failed; the whole log: $build/build.log" >&2; exit 1; }
ls "$build"/ondrel_*.deb "$build"/ondrel-dbgsym_*.deb "$build"/ondrel_*.changes
