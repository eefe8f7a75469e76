#!/usr/bin/env bash
# Installs the Debian 12 packages Ondrel needs, when any is missing:
#   setup.sh run      building and running the program
#   setup.sh test     the same, and everything the tests and benchmarks need (the default)
#   setup.sh package  the same as run, and what builds and checks the Debian package
set -euo pipefail

run=(
  git cmake make g++ pkg-config ccache
  qt6-base-dev libqscintilla2-qt6-dev qt6-webengine-dev qt6-translations-l10n libqscintilla2-qt6-l10n libgl-dev
  libmariadb-dev libxxhash-dev libsecret-1-dev libgit2-dev fonts-liberation2
  php-cli php-mysql php-mbstring php-xml php-curl php-gd
  # "Base intégrée": MariaDB's server programs without the system service (Ondrel starts
  # its own server), and the client programs the console's import and export run.
  mariadb-server-core mariadb-client
)
test=(
  libgtest-dev libgmock-dev libbenchmark-dev acl attr curl ripgrep
  mariadb-server openssl
  dbus-daemon gnome-keyring
  clang libclang-rt-14-dev
  xvfb xauth imagemagick fonts-dejavu-core xdotool
  php-xdebug
)
package=(dpkg-dev debhelper lintian desktop-file-utils appstream man-db)

case "${1:-test}" in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${test[@]}") ;;
  package) packages=("${run[@]}" "${package[@]}") ;;
  *) echo "usage: setup.sh [run|test|package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
