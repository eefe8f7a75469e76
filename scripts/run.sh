#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine with what building and running Ondrel need,
# builds the program only (no tests, no benchmarks) and starts it. Arguments go
# to the program: bash scripts/run.sh page.php
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" run
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target ondrel -j"$(nproc)"
exec "$root/build/ondrel" "$@"
