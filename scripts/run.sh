#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Ondrel and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
exec "$root/build/ondrel"
