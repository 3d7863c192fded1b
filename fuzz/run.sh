#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a number of seconds each and
# prints the rate and coverage each run reached. Usage: fuzz/run.sh BUILD_DIR SECONDS TARGET...
# Targets named tools_* are the tools' Python readers, run under atheris by $PYTHON
# (fuzz/tools/run.py) with tighter bounds: 10 s and 1 GiB an input, and inputs of at
# most 64 KiB, as what they read is parsed by Python.
# The corpus of each target grows under BUILD_DIR/corpus between runs; an input
# that fails is written to BUILD_DIR/crashes, and the script exits non-zero.
set -uo pipefail

build=$1 seconds=$2
shift 2
status=0
mkdir -p "$build/crashes"
for target in "$@"; do
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    log=$build/$target.log
    # Stdin is /dev/null so that nothing can wait for a terminal. Inputs that run
    # slowly (a few bytes declaring frames of thousands of rows) are mutated less
    # often than quick ones, which about doubles the rate at the same coverage.
    if [[ $target == tools_* ]]; then
        runner=("$PYTHON" "$(dirname "$0")/tools/run.py" "$target") seeds=$build/fuzz/seeds/$target
        bounds=(-timeout=10 -rss_limit_mb=1024 -max_len=65536)
    else
        runner=("$build/fuzz/fuzz_$target") seeds=$build/fuzz/seeds/${target%%_*}
        bounds=(-timeout=30 -rss_limit_mb=2560)
    fi
    "${runner[@]}" "$corpus" "$seeds" \
        -max_total_time="$seconds" "${bounds[@]}" -entropic_scale_per_exec_time=1 \
        -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
        </dev/null >"$log" 2>&1
    result=$?
    # libFuzzer's final statistics: the runs done and the average rate over the whole run.
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    coverage=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+')
    echo "$target: ${rate:-?} exec/s, ${runs:-?} runs in ${seconds} s, ${coverage:-no DONE line} (exit $result, log $log)"
    if [ "$result" -ne 0 ]; then
        grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written' "$log" | head -n 20
        status=1
    fi
done
exit "$status"
