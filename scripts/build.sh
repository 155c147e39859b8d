#!/usr/bin/env bash
# Configures and builds one configuration: build.sh [release|asan|tsan]. The build tree is build/ for
# release and build-<name>/ for the sanitizer configurations.
set -euo pipefail
cd "$(dirname "$0")/.."

config=${1:-release}
case "$config" in
    release) dir=build; extra=() ;;
    asan) dir=build-asan; extra=(-DBATCHORDER_SANITIZE="address;undefined" -DBATCHORDER_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug) ;;
    tsan) dir=build-tsan; extra=(-DBATCHORDER_SANITIZE=thread -DBATCHORDER_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug) ;;
    *) echo "usage: $0 [release|asan|tsan]" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
