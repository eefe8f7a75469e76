#!/usr/bin/env bash
# The corpus of the site-search benchmarks: the WordPress tree of Debian's
# `wordpress` package, downloaded with apt-get and unpacked with dpkg -x into the
# folder given (never installed). Does nothing when the tree is there already.
# Prints the tree's path.
set -euo pipefail
dest=${1:?usage: wordpress-corpus.sh FOLDER}
tree=$dest/tree/usr/share/wordpress
if [ ! -f "$tree/wp-includes/functions.php" ]; then
    mkdir -p "$dest"
    cd "$dest"
    rm -f wordpress_*.deb
    apt-get download wordpress >&2
    rm -rf tree
    dpkg -x wordpress_*.deb tree
fi
echo "$tree"
