#!/usr/bin/env bash
# Builds the Debian package (and its debug symbols, ondrel-dbgsym) into
# build-package/, or the folder given as first argument, compiled with the
# hardening flags of dpkg-buildflags.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-package}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# CMake reads CXXFLAGS and LDFLAGS when it first configures a folder; it has no CPPFLAGS.
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS
rm -rf "$build"
bash "$root/scripts/build.sh" "$build" -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DONDREL_BENCHMARKS=OFF
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/ondrel_*.deb "$build"/ondrel-dbgsym_*.ddeb
