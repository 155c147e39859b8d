#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with. Non-interactive and idempotent:
# packages already present are left alone, and apt is only asked when something is missing.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qtbase5-dev libqt5sql5-sqlite
    libboost-dev libboost-thread-dev libboost-filesystem-dev libboost-system-dev
    liblog4cxx-dev libfmt-dev libsqlite3-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libx11-dev libxtst-dev
    clang libfuzzer-14-dev libclang-rt-14-dev
    xvfb xauth xdotool
    dpkg-dev file
    sqlite3
    fonts-noto-cjk
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "bootstrap: all packages present"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=()
elif command -v sudo >/dev/null 2>&1; then
    SUDO=(sudo -n)
else
    echo "bootstrap: missing packages (${missing[*]}) and neither root nor sudo available" >&2
    exit 1
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
