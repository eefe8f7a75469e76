#!/usr/bin/env bash
# Start-up to the window visible: Ondrel, Geany (when installed) and a bare Qt Widgets window,
# interleaved in one run under Xvfb, RUNS runs each (default 10); prints each time and the medians.
#   bash bench/startup-compare.sh [build folder] [runs] [folder of another build]
# A third argument, a folder holding another build's ondrel, ondrel-fenetre.so (and
# ondrel-apercu.so when it has one), adds it to the same run as "ondrel-autre", so a
# change is measured against the build before it on the same machine at the same time.
# "Visible" is the first moment the program's window is mapped (xdotool --onlyvisible),
# polled every few milliseconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-10}
other=${3:+$(cd "$3" && pwd)}

if [ -z "${ONDREL_STARTUP_INNER:-}" ]; then
  export ONDREL_STARTUP_INNER=1
  exec xvfb-run -a -s '-screen 0 1280x800x24' bash "$0" "$build" "$runs" ${other:+"$other"}
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run" "$work/geany"
chmod 700 "$work/run"

# The bare window: the least a Qt Widgets program can take to show a window here.
cat > "$work/bare.cpp" <<'CPP'
#include <QApplication>
#include <QMainWindow>
int main(int argc, char **argv) { QApplication app(argc, argv); QMainWindow w; w.resize(800, 600); w.show(); return app.exec(); }
CPP
g++ -O2 -fPIC -o "$work/bare" "$work/bare.cpp" $(pkg-config --cflags --libs Qt6Widgets)

now() { date +%s%N; }
# Milliseconds from the start of the command to its window visible.
timeOne() {
  local t0 pid
  t0=$(now)
  HOME="$work/home" XDG_RUNTIME_DIR="$work/run" "$@" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null || (( $(now) - t0 > 20000000000 )); then
      echo "no window (ended, or none within 20 s): $*" >&2
      kill "$pid" 2>/dev/null || true
      echo échec
      return 0
    fi
  done
  echo $(( ($(now) - t0) / 1000000 ))
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
# The median of the runs that showed a window (a run that failed counts for nothing).
median() { grep -E '^[0-9]+$' | sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# Each Ondrel runs from a copy of its own: its side files (kept beside the program)
# start empty, and no folder remembered from an earlier run asks for a box.
copyOndrel() {
  mkdir -p "$work/$2"
  for f in ondrel ondrel-fenetre.so ondrel-apercu.so ondrel-php; do
    [ ! -e "$1/$f" ] || cp "$1/$f" "$work/$2/"
  done
}
copyOndrel "$build" ondrel
names=(ondrel bare)
declare -A cmd=([ondrel]="$work/ondrel/ondrel --nouvelle-instance" [bare]="$work/bare")
if command -v geany >/dev/null; then
  names=(ondrel geany bare)
  cmd[geany]="geany -i -c $work/geany"
else
  echo "Geany is not installed: Ondrel is compared with the bare Qt Widgets window only."
fi
if [ -n "$other" ]; then
  names+=(ondrel-autre)
  copyOndrel "$other" ondrel-autre
  cmd[ondrel-autre]="$work/ondrel-autre/ondrel --nouvelle-instance"
fi
declare -A times
for ((i = 1; i <= runs; i++)); do
  for n in "${names[@]}"; do
    # shellcheck disable=SC2086
    t=$(timeOne ${cmd[$n]})
    echo "run $i $n $t ms" >&2
    times[$n]+="$t "
  done
done
for n in "${names[@]}"; do
  echo "$n: ${times[$n]}ms; median $(tr ' ' '\n' <<<"${times[$n]}" | grep . | median) ms"
done
