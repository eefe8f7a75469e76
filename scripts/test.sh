#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Ondrel and runs every test with CTest, as
# root or as a normal user (with sudo to install packages), with or without a display.
# CTest starts and stops the servers the tests need (MariaDB; each preview test runs its own php -S).
#
# Three stages: the normal pass, the sanitized pass and fuzzing. A stage that fails
# does not stop the next; the run ends with each stage's outcome and time, the tests
# skipped for want of root (counted), and exits non-zero when anything failed or
# when a process of the run is still there after its tests.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if ! bash "$root/scripts/setup.sh"; then
    echo "test.sh: FAILED; the packages the tests need could not be installed, so no stage ran" >&2
    exit 1
fi
if ! bash "$root/scripts/check-tests.sh"; then
    echo "test.sh: FAILED; a test uses QtTest's assertion macros, so no stage ran" >&2
    exit 1
fi

# The tests are headless whatever the session: with a display of the user's at hand,
# libraries that look for X (the web engine's among them) would open it beside Qt's
# offscreen platform and keep what they allocate for it.
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY
export QT_QPA_PLATFORM=offscreen
# Chromium's sandbox needs user namespaces, which a chroot has none of (the tests as root
# turn it off themselves); the web engine would not start at all.
if [ "$(id -u)" -ne 0 ] && ! unshare --user true 2>/dev/null; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

# Every process the tests start carries this mark; what still carries it once a
# stage is over was left behind.
export ONDREL_TEST_RUN="$$-$(date +%s)"
skips=$root/build/skipped
rm -rf "$skips"
mkdir -p "$skips"

# On CI (CI=true) nobody debugs the build or runs a benchmark: line tables only
# (enough for a backtrace), and the benchmarks are compiled, unoptimised, only to
# show that they still build. The kill tests make 40 kills each instead of 100.
normal=()
kills=
sanitized_kills=50
if [ -n "${CI:-}" ]; then
    normal=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DONDREL_BENCH_COMPILE_OPTIONS="-O0;-g0")
    kills=40
    sanitized_kills=20
fi

# The processes of this user that carry the run's mark, but not this script, nor the
# subshell and commands of this function themselves. Stages run in the foreground: once
# one is over, nothing of it should be left, children of this script included.
left_behind() {
    local p pid stat rest
    local -a fields
    for p in /proc/[0-9]*; do
        pid=${p#/proc/}
        [ -O "$p" ] || continue
        [ "$pid" = "$$" ] || [ "$pid" = "$BASHPID" ] && continue
        read -r stat 2>/dev/null <"$p/stat" || continue
        rest=${stat##*) }
        read -ra fields <<<"$rest"
        [ "${fields[1]}" = "$BASHPID" ] && continue
        grep -qaF "ONDREL_TEST_RUN=$ONDREL_TEST_RUN" "$p/environ" 2>/dev/null || continue
        echo "$pid"
    done
}

# Names what a stage left running, ends it, and fails the stage.
reap_left_behind() {
    local stage=$1 pids pid
    # A few seconds' grace for what ends with the bus or server it watches (the keyring daemon).
    for _ in $(seq 10); do
        pids=$(left_behind)
        [ -z "$pids" ] && return 0
        sleep 0.5
    done
    echo "$stage left processes behind:" >&2
    for pid in $pids; do
        echo "  $pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" >&2
    done
    # shellcheck disable=SC2086
    kill -KILL $pids 2>/dev/null || true
    return 1
}

outcomes=()
status=0
# stage NAME FUNCTION: runs it, checks for processes left behind, notes outcome and time.
stage() {
    local name=$1 start result
    start=$(date +%s)
    echo "== $name ($(date -u +%H:%M:%S) UTC)"
    stage_note=
    if "$2"; then result=passed; else result=FAILED; status=1; fi
    if ! reap_left_behind "$name"; then
        result="$result, left processes behind"
        status=1
    fi
    outcomes+=("$(printf '%-10s %-40s %5d s' "$name" "$result${stage_note:+ ($stage_note)}" $(($(date +%s) - start)))")
}

normal_pass() {
    if ! bash "$root/scripts/build.sh" "$root/build" "${normal[@]}"; then
        stage_note="its build failed: no test ran"
        return 1
    fi
    cd "$root/build" || return 1
    # Two test programs at a time; those that load the web engine, and those that share
    # the MariaDB server, take turns (RESOURCE_LOCK in tests/CMakeLists.txt).
    ONDREL_SKIP_LOG=$skips/normal ONDREL_FAULT_KILLS=$kills \
        ctest --output-on-failure --no-tests=error --timeout 900 -j2
}

# The program's logic and its tests again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer in a folder of their own; any report fails the run.
# Leak detection stays on; tests/lsan.supp lists only what system libraries keep
# until exit. -O1 with line tables: the sanitizers find the same faults, and the
# build takes half the time of -O2 -g.
sanitized_pass() {
    if ! bash "$root/scripts/build.sh" "$root/build-asan" -DONDREL_SANITIZE=ON -DONDREL_BENCHMARKS=OFF \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"; then
        stage_note="its build failed: no test ran"
        return 1
    fi
    cd "$root/build-asan" || return 1
    local ok=0
    export ASAN_OPTIONS=abort_on_error=1:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
    export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
    export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
    # The children of the kill tests run slower here: half the kills.
    ONDREL_SKIP_LOG=$skips/sanitized ONDREL_FAULT_KILLS=$sanitized_kills \
        ctest --output-on-failure --timeout 1800 -j2 -LE webengine || ok=1
    # The tests that load the web engine (label "webengine") run too, but Qt WebEngine's
    # own library frees one of its objects with the wrong size when a page goes away,
    # so that one check is off for them.
    ASAN_OPTIONS=$ASAN_OPTIONS:new_delete_type_mismatch=0 ONDREL_SKIP_LOG=$skips/sanitized \
        ctest --output-on-failure --timeout 1800 -j1 -L webengine || ok=1
    unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
    return $ok
}

# Fuzzing: each target of fuzz/ for a bounded time (20 s on CI); any crash or mismatch fails.
fuzzing() {
    if [ -n "${CI:-}" ]; then
        export FUZZ_SECONDS=${FUZZ_SECONDS:-20}
    fi
    bash "$root/scripts/fuzz.sh" "$root/build-fuzz"
}

stage normal normal_pass
stage sanitized sanitized_pass
stage fuzz fuzzing

echo
echo "== test.sh: each stage, its outcome and time"
printf '%s\n' "${outcomes[@]}"
skipped=$(cat "$skips"/* 2>/dev/null | sort -u)
count=0
[ -n "$skipped" ] && count=$(printf '%s\n' "$skipped" | wc -l)
if [ "$count" -gt 0 ]; then
    echo "Tests skipped or checked another way for want of root (sudo -n not allowed, or no user namespaces):"
    printf '  %s\n' "$skipped"
fi
if [ $status -eq 0 ]; then
    echo "test.sh: every stage passed; $count test(s) skipped for want of root"
else
    echo "test.sh: FAILED; $count test(s) skipped for want of root"
fi
exit $status
