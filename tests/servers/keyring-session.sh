#!/usr/bin/env bash
# Runs a test program in a D-Bus session of its own whose Secret Service is a GNOME
# Keyring daemon unlocked for the run, with its keyring in a throwaway home: the
# tests never reach the keyring of the account that runs them.
#
#   keyring-session.sh <program> [arguments…]
#
# The session bus and the daemon end with the program; the home folder is removed.
set -euo pipefail

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache \
  XDG_RUNTIME_DIR=$home/run

# gnome-keyring-daemon --unlock reads the keyring's password on its standard input and
# creates the login keyring with it, unlocked, the first time.
dbus-run-session -- bash -c '
  printf %s ondrel-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  "$@"' keyring-session "$@"
