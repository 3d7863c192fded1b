#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a number of seconds each and
# prints what each run reached. Usage: fuzz/run.sh BUILD_DIR SECONDS TARGET...
# The corpus of each target grows under BUILD_DIR/corpus between runs; an input
# that fails is written to BUILD_DIR/crashes, and the script exits non-zero.
set -uo pipefail

build=$1 seconds=$2
shift 2
status=0
mkdir -p "$build/crashes"
# The targets write their inputs to files: keep those in memory when possible.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
for target in "$@"; do
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    log=$build/$target.log
    # Standard error of the target is closed: the core's diagnostics would drown the
    # fuzzer's own lines, which libFuzzer still writes, crash reports included.
    # Stdin is /dev/null so that nothing can wait for a terminal.
    "$build/fuzz/fuzz_$target" "$corpus" "$build/fuzz/seeds/${target%%_*}" \
        -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -close_fd_mask=2 \
        -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
        </dev/null >"$log" 2>&1
    result=$?
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
    echo "$target: ${done_line:-no DONE line} (exit $result, log $log)"
    if [ "$result" -ne 0 ]; then
        grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written' "$log" | head -n 20
        status=1
    fi
done
exit "$status"
