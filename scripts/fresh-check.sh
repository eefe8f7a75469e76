#!/usr/bin/env bash
# Checks that a fresh Debian 12 needs nothing but what the README says: makes a
# minimal bookworm root with debootstrap, adds git and sudo (the README's
# prerequisites), clones this repository into it and runs the README's two commands
# inside, the first under Xvfb until Ondrel's window appears. Twice: first as a
# person at a desk, a normal user "dev" with sudo, a display of its own (Xvfb) and
# no LANG, then as root with LANG=C.UTF-8 and no display, as CI runs. Each run has
# its own clone and its own timeline, both printed at the end.
#
#   sudo bash scripts/fresh-check.sh [folder]
#
# Not part of CI: it needs root, Debian's package mirror and many minutes. The
# root is made in the folder given (default: a new folder under /var/tmp) and
# kept for a look afterwards; its logs and times are in <folder>.logs/.
# ONDREL_BRANCH picks the branch to clone (default: the one checked out here),
# DEBIAN_MIRROR the mirror (default: the first one this machine's apt uses).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "fresh-check.sh must run as root (debootstrap, chroot)" >&2; exit 2; }

target=${1:-$(mktemp -d /var/tmp/ondrel-fresh.XXXXXX)}
mkdir -p "$target"
target=$(cd "$target" && pwd)
logs=$target.logs
mkdir -p "$logs"
branch=${ONDREL_BRANCH:-$(git -C "$src" rev-parse --abbrev-ref HEAD)}
gitdir=$(cd "$src" && cd "$(git rev-parse --git-common-dir)" && pwd)

mirror=${DEBIAN_MIRROR:-}
if [ -z "$mirror" ]; then
    mirror=$(awk '/^URIs:/ && $2 ~ /\/debian\/?$/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
fi
if [ -z "$mirror" ]; then
    mirror=$(awk '$1 == "deb" && $2 ~ /\/debian\/?$/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
fi

# What the check itself runs on this machine.
host_tools=()
command -v debootstrap >/dev/null || host_tools+=(debootstrap)
command -v Xvfb >/dev/null || host_tools+=(xvfb)
command -v xwininfo >/dev/null || host_tools+=(x11-utils)
command -v import >/dev/null || host_tools+=(imagemagick)
if [ ${#host_tools[@]} -gt 0 ]; then
    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${host_tools[@]}"
fi

times=$logs/times.txt # debootstrap and the prerequisites; each run has a file of its own
: >"$times"
step() { # name, then the command; its time goes to times.txt
    local name=$1 start end status=0
    shift
    start=$(date +%s)
    echo "== $name ($(date -u +%H:%M:%S))"
    "$@" || status=$?
    end=$(date +%s)
    printf '%s  %-12s %5d s  exit %d\n' "$(date -u -d "@$start" +%H:%M:%S)" "$name" $((end - start)) "$status" \
        | tee -a "$times"
    return "$status"
}

mounted=()
xvfb_pid=
run_pid=
cleanup() {
    [ -n "$run_pid" ] && kill -TERM -- "-$run_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -l "${mounted[i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT

in_root() { # a command inside the root, as root, with a clean environment
    chroot "$target" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

bind() { # source, place inside the root
    mkdir -p "$target$2"
    mount --bind "$1" "$target$2"
    mounted+=("$target$2")
}

if [ ! -x "$target/bin/bash" ]; then
    step debootstrap debootstrap --variant=minbase bookworm "$target" ${mirror:+"$mirror"} \
        >"$logs/debootstrap.log" 2>&1
fi

mount -t proc proc "$target/proc" && mounted+=("$target/proc")
mount -t sysfs sysfs "$target/sys" && mounted+=("$target/sys")
bind /dev /dev
bind /dev/pts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs "$target/dev/shm" && mounted+=("$target/dev/shm")
mount -t tmpfs -o mode=1777 tmpfs "$target/tmp" && mounted+=("$target/tmp")
cp /etc/resolv.conf "$target/etc/resolv.conf"
# An installed Debian has these two lines; debootstrap does not write them.
[ -s "$target/etc/hosts" ] || printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$target/etc/hosts"
# No service started by a package's installation outlives the check.
printf '#!/bin/sh\nexit 101\n' >"$target/usr/sbin/policy-rc.d"
chmod 755 "$target/usr/sbin/policy-rc.d"
bind "$gitdir" /mnt/ondrel.git
mount -o remount,bind,ro "$target/mnt/ondrel.git"

# The README's prerequisites: git, and sudo for the normal user.
step git in_root bash -c 'apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends git ca-certificates sudo' \
    >"$logs/git.log" 2>&1
in_root bash -c 'id dev >/dev/null 2>&1 || useradd -m -s /bin/bash dev'
printf 'dev ALL=(ALL) NOPASSWD:ALL\n' >"$target/etc/sudoers.d/dev"
chmod 440 "$target/etc/sudoers.d/dev"
bind /tmp/.X11-unix /tmp/.X11-unix

# A command inside the root for a run: as "dev" with a display and no LANG, or as root.
as_who() { # who, display ("" for none), then the command
    local who=$1 display=$2
    shift 2
    if [ "$who" = dev ]; then
        chroot "$target" /usr/bin/setpriv --reuid=dev --regid=dev --init-groups \
            /usr/bin/env -i HOME=/home/dev USER=dev LOGNAME=dev TERM=dumb ${display:+DISPLAY=$display} \
            PATH=/usr/local/bin:/usr/bin:/bin "$@"
    else
        chroot "$target" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb ${display:+DISPLAY=$display} \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
    fi
}

start_display() {
    display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$logs/xvfb-$display.log" 2>&1 &
    xvfb_pid=$!
    sleep 1
}

stop_display() {
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
}

run_window() { # who, home: bash scripts/run.sh until the window appears
    local who=$1 home=$2 i
    setsid bash -c "$(declare -f as_who); target='$target'; as_who $who $display bash -c 'cd $home/ondrel && exec bash scripts/run.sh'" \
        >"$logs/$who-run.log" 2>&1 &
    run_pid=$!
    for i in $(seq 5400); do # at most 90 minutes
        if DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -q '"Ondrel'; then
            sleep 3
            DISPLAY=$display import -window root "$logs/$who-window.png" || true
            return 0
        fi
        kill -0 "$run_pid" 2>/dev/null || { echo "run.sh ended before a window appeared" >&2; return 1; }
        sleep 1
    done
    return 1
}

# The two commands for one person, in a clone of their own; its times go to <who>-times.txt.
statuses=()
two_commands() { # who, home
    local who=$1 home=$2 run_status=0 test_status=0 display=
    local times=$logs/$who-times.txt # step's file, for this run
    : >"$times"
    echo "== $who: $( [ "$who" = dev ] && echo 'a normal user with sudo, a display of its own, no LANG' || echo 'root, LANG=C.UTF-8, no display')" | tee -a "$times"
    rm -rf "$target$home/ondrel"
    step clone as_who "$who" "" git clone -q --branch "$branch" /mnt/ondrel.git "$home/ondrel" >"$logs/$who-clone.log" 2>&1
    echo "cloned $branch at $(as_who "$who" "" git -C "$home/ondrel" rev-parse --short HEAD)" | tee -a "$times"

    # First command: bash scripts/run.sh, on a display of this machine shared into the root.
    start_display
    step run.sh run_window "$who" "$home" || run_status=$?
    kill -TERM -- "-$run_pid" 2>/dev/null || true
    wait "$run_pid" 2>/dev/null || true
    run_pid=

    # Second command: bash scripts/test.sh; the person at a desk keeps their display.
    [ "$who" = dev ] || stop_display
    step test.sh as_who "$who" "$display" bash -c "cd $home/ondrel && bash scripts/test.sh" >"$logs/$who-test.log" 2>&1 \
        || test_status=$?
    stop_display
    grep -E 'tests passed|tests failed|^Total Test time|^(normal|sanitized|fuzz) |^test.sh:|skipped' "$logs/$who-test.log" \
        | tee -a "$times" || true
    statuses+=("$who: run.sh exit $run_status, test.sh exit $test_status")
    [ $run_status -eq 0 ] && [ $test_status -eq 0 ]
}

# git's own check of who owns the repository, for dev's clone of root's folder.
in_root git config --system --add safe.directory /mnt/ondrel.git
overall=0
two_commands dev /home/dev || overall=1
two_commands root /root || overall=1

# Whatever a test left running inside the root ends with the check.
for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$target" ] && kill -TERM "${p#/proc/}" 2>/dev/null || true
done
echo
echo "times and results ($times):"
cat "$times"
echo
for who in dev root; do
    echo "times and results ($logs/$who-times.txt):"
    cat "$logs/$who-times.txt"
    echo
done
printf '%s\n' "${statuses[@]}"
exit $overall
