#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get on this machine, and checks
# that the installed program starts headless, keeps its side files in the user's
# configuration folder, and writes them back when it is asked to stop.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
command -v dpkg-shlibdeps >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends dpkg-dev
build="$root/build-package"
rm -rf "$build"
bash "$root/scripts/build.sh" "$build" -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DONDREL_BENCHMARKS=OFF
(cd "$build" && rm -f ondrel_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/ondrel_*.deb)
echo "Package: $deb"
dpkg-deb -I "$deb" | grep -E "Depends|Package|Version"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null

home=$(mktemp -d)
export HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen
ondrel > "$home/ondrel.log" 2>&1 &
pid=$!
sleep 4
kill -0 "$pid" || { echo "ondrel stopped at start:"; cat "$home/ondrel.log"; exit 1; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
if [ "$status" -ne 0 ]; then
  echo "ondrel ended with status $status after it was asked to stop:"; cat "$home/ondrel.log"; exit 1
fi
for f in ondrel.ini ondrel.php ondrel.qry; do
  test -f "$home/.config/ondrel/$f" || { echo "missing $home/.config/ondrel/$f"; ls -la "$home/.config/ondrel" || true; exit 1; }
done
test ! -e /usr/bin/ondrel.ini || { echo "side file written beside the installed executable"; exit 1; }
test -f /usr/share/applications/ondrel.desktop
test -f /usr/share/icons/hicolor/scalable/apps/ondrel.svg
test -f /usr/share/metainfo/org.ondrel.Ondrel.metainfo.xml
echo "The installed package starts, keeps its side files in ~/.config/ondrel and stops cleanly."
