#!/usr/bin/env bash
# Takes a picture of each page of the real window under Xvfb, at scale 1 into
# docs/screenshots/ and at scale 2 into docs/screenshots/x2/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
cd "$root"
xvfb-run -a -s "-screen 0 1280x1024x24" build/ondrel_screenshots docs/screenshots
QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 2000x1300x24" build/ondrel_screenshots docs/screenshots/x2
