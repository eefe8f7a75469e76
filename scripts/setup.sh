#!/usr/bin/env bash
# Installs the Debian 12 packages Ondrel needs to build, run and test, when any is missing.
set -euo pipefail

packages=(
  cmake g++ pkg-config ccache
  qt6-base-dev libqscintilla2-qt6-dev qt6-webengine-dev qt6-translations-l10n libqscintilla2-qt6-l10n libgl-dev
  libmariadb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  mariadb-server mariadb-client php-cli
  clang libclang-rt-14-dev
  xvfb xauth imagemagick fonts-liberation2 fonts-dejavu-core
)

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
