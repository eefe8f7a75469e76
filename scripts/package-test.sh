#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian --pedantic (any E: or W: tag
# fails), checks its Recommends, licence and manual page,
# installs exactly that package on this machine, checks that the installed files
# are the ones just built and that the installed program works, and purges the
# package at the end, whatever happened. A step that fails shows its output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" package
# What setup.sh installs covers the build dependencies of debian/control.
(cd "$root" && dpkg-checkbuilddeps) || { echo "FAILED: setup.sh package misses build dependencies"; exit 1; }
build="$root/build-package"
bash "$root/scripts/package.sh" "$build" >/dev/null
deb=$(ls "$build"/ondrel_*.deb)
changes=$(ls "$build"/ondrel_*.changes)
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

# lintian, pedantic, on both packages: no error and no warning.
lintian --pedantic --tag-display-limit 0 "$changes" >"$work/lintian.txt" 2>&1 || true
if grep -qE '^[EW]: ' "$work/lintian.txt"; then
  echo "FAILED: lintian"; cat "$work/lintian.txt"; exit 1
fi
echo "lintian --pedantic: no E: or W: tag"

# What the package says of itself: the relations a user's apt acts on.
for field in "Recommends: php-cli, php-mysql, mariadb-client, mariadb-server-core, libgit2-1.5" "Suggests: php-xdebug, mariadb-server" "Version: 2.1-1"; do
  [ "$(dpkg-deb -f "$deb" "${field%%:*}" | tr -s ' \n' ' ' | sed 's/ $//')" = "${field#*: }" ] \
    || fail "$field (the package has: $(dpkg-deb -f "$deb" "${field%%:*}"))"
done
echo "Fields: Recommends, Suggests, Version"

# Installs this very file, also when the same version is installed already.
export DEBIAN_FRONTEND=noninteractive
step apt-get install -y -q --reinstall "$deb"
dpkg-deb -x "$deb" "$work/deb"
for f in usr/bin/ondrel usr/lib/x86_64-linux-gnu/ondrel/ondrel-fenetre.so usr/lib/x86_64-linux-gnu/ondrel/ondrel-apercu.so; do
  cmp "/$f" "$work/deb/$f" || fail "/$f is not the file of $deb"
done
built_id=$(readelf -n "$build"/ondrel-*/obj-*/ondrel | sed -n 's/.*Build ID: //p')
installed_id=$(readelf -n /usr/bin/ondrel | sed -n 's/.*Build ID: //p')
[ -n "$built_id" ] && [ "$built_id" = "$installed_id" ] || fail "/usr/bin/ondrel is not the build in $build"
echo "Installed: the files of $deb (build id $installed_id)"

step desktop-file-validate /usr/share/applications/org.ondrel.Ondrel.desktop
step appstreamcli validate --no-net /usr/share/metainfo/org.ondrel.Ondrel.metainfo.xml
test -f /usr/share/icons/hicolor/scalable/apps/org.ondrel.Ondrel.svg || fail "no scalable icon"
test -f /usr/share/icons/hicolor/48x48/apps/org.ondrel.Ondrel.png || fail "no 48x48 icon"
step man -l --warnings=all /usr/share/man/man1/ondrel.1.gz
echo "Validators: desktop file, AppStream data, manual page clean"

# The licence: the GNU GPL version 3 or later, in Debian's machine-readable format,
# and nothing left of terms that forbade changing or selling the program.
copyright=/usr/share/doc/ondrel/copyright
test -f "$copyright" || fail "no copyright file"
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "$copyright is not in the machine-readable format"
grep -qx 'License: GPL-3+' "$copyright" || fail "$copyright does not give GPL-3+"
grep -q 'either version 3 of the License, or (at your option)' "$copyright" || fail "$copyright lacks the licence text"
grep -qE '^(Files:)? +packaging/icons/\*$' "$copyright" || fail "$copyright does not name the icons"
! grep -qi 'vendre' "$copyright" || fail "$copyright still forbids selling"
echo "Licence: GPL-3+ in $copyright"

# The manual page has its sections, the README's keys, server fields and environment among them.
MANWIDTH=200 man -l /usr/share/man/man1/ondrel.1.gz 2>/dev/null >"$work/man.txt"
for section in NOM SYNOPSIS DESCRIPTION OPTIONS "TOUCHES ET SOURIS" "SERVEUR PHP INTÉGRÉ ET RACINE" \
  ENVIRONNEMENT FICHIERS SIGNAUX "CODE DE RETOUR"; do
  grep -qx "$section" "$work/man.txt" || fail "the manual page has no section $section"
done
for text in "F9 (with any modifier but Ctrl)" "Ctrl+F9" "Ctrl+S" "Racine" "MYSQL_TCP_PORT" "MYSQL_UNIX_PORT" "XDG_CONFIG_HOME"; do
  grep -qF "$text" "$work/man.txt" || fail "the manual page does not tell $text"
done
echo "Manual page: its ten sections"

# The command line answers without a display, with the licence under the version.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ondrel --version >"$work/version.txt" || fail "ondrel --version"
[ "$(head -1 "$work/version.txt")" = "ondrel 2.1" ] || fail "ondrel --version: $(cat "$work/version.txt")"
grep -q 'GNU GPL version 3 ou ultérieure' "$work/version.txt" || fail "ondrel --version gives no licence"

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
