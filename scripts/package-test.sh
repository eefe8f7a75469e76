#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian (any E: or W: tag fails),
# installs exactly that package on this machine, checks that the installed files
# are the ones just built and that the installed program works, and purges the
# package at the end, whatever happened. A step that fails shows its output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" package
build="$root/build-package"
bash "$root/scripts/package.sh" "$build" >/dev/null
deb=$(ls "$build"/ondrel_*.deb)
echo "Package: $deb"

work=$(mktemp -d)
log="$work/step.log"
# Runs one step quietly; on failure prints what it printed and stops.
step() {
  if ! "$@" >"$log" 2>&1; then
    echo "FAILED: $*"
    cat "$log"
    exit 1
  fi
}
fail() { echo "FAILED: $*"; exit 1; }
purge() {
  if dpkg-query -W -f='${Status}' ondrel 2>/dev/null | grep -q "installed"; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q ondrel >"$work/purge.log" 2>&1 \
      || { echo "FAILED: apt-get purge ondrel"; cat "$work/purge.log"; }
  fi
  rm -rf "$work"
}
trap purge EXIT

# lintian: no error and no warning.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
if grep -qE '^[EW]: ' "$work/lintian.txt"; then
  echo "FAILED: lintian"; cat "$work/lintian.txt"; exit 1
fi
echo "lintian: no E: or W: tag"

# Installs this very file, also when the same version is installed already.
export DEBIAN_FRONTEND=noninteractive
step apt-get install -y -q --reinstall "$deb"
dpkg-deb -x "$deb" "$work/deb"
for f in usr/bin/ondrel usr/lib/x86_64-linux-gnu/ondrel/ondrel-fenetre.so; do
  cmp "/$f" "$work/deb/$f" || fail "/$f is not the file of $deb"
done
built_id=$(readelf -n "$build/ondrel" | sed -n 's/.*Build ID: //p')
installed_id=$(readelf -n /usr/bin/ondrel | sed -n 's/.*Build ID: //p')
[ -n "$built_id" ] && [ "$built_id" = "$installed_id" ] || fail "/usr/bin/ondrel is not the build in $build"
echo "Installed: the files of $deb (build id $installed_id)"

step desktop-file-validate /usr/share/applications/org.ondrel.Ondrel.desktop
step appstreamcli validate --no-net /usr/share/metainfo/org.ondrel.Ondrel.metainfo.xml
test -f /usr/share/icons/hicolor/scalable/apps/org.ondrel.Ondrel.svg || fail "no scalable icon"
test -f /usr/share/icons/hicolor/48x48/apps/org.ondrel.Ondrel.png || fail "no 48x48 icon"
test -f /usr/share/doc/ondrel/copyright || fail "no copyright file"
step man -l --warnings=all /usr/share/man/man1/ondrel.1.gz
echo "Validators: desktop file, AppStream data, manual page clean"

# The command line answers without a display.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ondrel --version)" = "ondrel 2.1" ] \
  || fail "ondrel --version"

home="$work/home"
mkdir -p "$home/run"
chmod 700 "$home/run"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen
printf '<?php echo "ok";\n' >"$home/page.php"
ondrel >"$work/ondrel.log" 2>&1 &
pid=$!
for _ in $(seq 100); do
  ls "$home"/run/ondrel-*.sock >/dev/null 2>&1 && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/ondrel.log"; fail "ondrel stopped at start"; }
  sleep 0.1
done
# A second launch hands its file to the running window and ends.
step timeout 10 ondrel "$home/page.php"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { cat "$work/ondrel.log"; fail "ondrel ended with status $status after SIGTERM"; }
for f in ondrel.ini ondrel.php ondrel.qry; do
  test -f "$home/.config/ondrel/$f" || fail "missing $home/.config/ondrel/$f"
done
grep -q "^Fichier=$home/page.php" "$home/.config/ondrel/ondrel.ini" || fail "the handed-over file was not opened"
test ! -e /usr/bin/ondrel.ini || fail "side file written beside the installed executable"
echo "The installed program starts, takes a file from a second launch, keeps its side files in ~/.config/ondrel and stops cleanly."
