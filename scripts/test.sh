#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Ondrel and runs every test with CTest.
# CTest starts and stops the servers the tests need (MariaDB; each preview test runs its own php -S).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
cd "$root/build"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure --timeout 900 -j1
