#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ (or the folder
# given as first argument) and runs each for FUZZ_SECONDS seconds (45 by default),
# starting from its seed corpus in fuzz/<target>/corpus/ (which is left unchanged).
# Any crash, sanitizer report or model mismatch fails the script; the input that
# caused it is left in <build>/artifacts/. Prints the executions of each target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-45}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/artifacts"
summary=()
status=0
for corpus in "$root"/fuzz/*/corpus; do
    name=$(basename "$(dirname "$corpus")")
    work=$build/work/$name
    rm -rf "$work" && mkdir -p "$work"
    log=$build/fuzz_$name.log
    echo "fuzz_$name: ${seconds} s"
    if "$build/fuzz_$name" "$work" "$corpus" -max_total_time="$seconds" -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        summary+=("fuzz_$name: ${runs:-?} executions in ${seconds} s")
    else
        status=1
        summary+=("fuzz_$name: FAILED (see $log)")
        grep -E 'MISMATCH|ERROR|runtime error|SUMMARY' "$log" | head -20 || true
    fi
done
printf '%s\n' "${summary[@]}"
exit $status
