#!/usr/bin/env bash
# Sets up, builds and runs every test: the release build, then the address/undefined-behaviour
# sanitizer build and the thread sanitizer build, then 20 seconds of fuzzing per fuzz target. Fails when
# any test fails or the fuzzing finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

jobs=$(nproc)
for config in release asan tsan; do
    echo "=== $config: build"
    scripts/build.sh "$config"
done

status=0
for config in release asan tsan; do
    case "$config" in release) dir=build ;; *) dir=build-$config ;; esac
    echo "=== $config: test"
    ASAN_OPTIONS=detect_leaks=1 \
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
    UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir "$dir" --output-on-failure -j "$jobs" || status=1
done

echo "=== fuzz"
scripts/fuzz.sh 20 || status=1
exit $status
