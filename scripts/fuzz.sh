#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz/ (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 60), starting from its seeds in fuzz/corpus/<target>. Inputs that reach
# new code are kept in build-fuzz/corpus/<target>. A crash, a leak or a failed check stops that target,
# leaves the input in build-fuzz/findings/<target>/ and fails the run; put a fixed one in
# fuzz/regressions/<target>/. Ends by replaying every regression input.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
dir=build-fuzz
targets=(instruction_line instruction_file host_profile shortcut_socket)

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" -DBATCHORDER_BUILD_FUZZ=ON \
    -DBATCHORDER_BUILD_TESTS=OFF -DBATCHORDER_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1
status=0
for target in "${targets[@]}"; do
    corpus=$dir/corpus/$target
    findings=$dir/findings/$target
    log=$dir/findings/$target.log
    mkdir -p "$corpus" "$findings"
    options=(-max_total_time="$seconds" -timeout=30 -print_final_stats=1 -artifact_prefix="$findings/")
    # The reader decodes in blocks of 16 KiB: inputs must be able to reach past the first.
    if [ "$target" = instruction_file ]; then
        options+=(-max_len=40000)
    fi
    inputs=("$corpus" "fuzz/corpus/$target")
    if [ -d "fuzz/regressions/$target" ]; then
        inputs+=("fuzz/regressions/$target")
    fi
    echo "=== fuzz_$target: ${seconds}s"
    if "$dir/bin/fuzz_$target" "${options[@]}" "${inputs[@]}" >"$log" 2>&1; then
        grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added):' "$log" \
            | sed 's/^stat::/    /' || true
    else
        echo "fuzz_$target FAILED (input and log in $findings, $log):" >&2
        grep -E -A12 '^==[0-9]+==ERROR|runtime error|fuzz check failed|Test unit written' "$log" | head -40 >&2 || true
        status=1
    fi
done

echo "=== regression inputs"
ctest --test-dir "$dir" --output-on-failure -R '^fuzz_regressions_' || status=1
exit $status
