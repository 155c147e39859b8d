#!/usr/bin/env bash
# Configures and builds one configuration: build.sh [release|asan|tsan|package]. The build tree is build/
# for release and build-<name>/ for the others. package builds for the /usr prefix without tests and
# makes the Debian packages (build-package/batchorder_*.deb, batchorder-dev_*.deb) with cpack.
set -euo pipefail
cd "$(dirname "$0")/.."

config=${1:-release}
case "$config" in
    release) dir=build; extra=() ;;
    asan) dir=build-asan; extra=(-DBATCHORDER_SANITIZE="address;undefined" -DBATCHORDER_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug) ;;
    tsan) dir=build-tsan; extra=(-DBATCHORDER_SANITIZE=thread -DBATCHORDER_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug) ;;
    package) dir=build-package; extra=(-DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=Release -DBATCHORDER_BUILD_TESTS=OFF) ;;
    *) echo "usage: $0 [release|asan|tsan|package]" >&2; exit 2 ;;
esac

# A compiler cache, where one is installed, makes rebuilds of the sanitizer trees cheap.
if command -v ccache >/dev/null 2>&1; then
    extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
if [ "$config" = package ]; then
    (cd "$dir" && cpack -G DEB)
fi
