#!/usr/bin/env bash
# Sets up, builds and runs the host on the sample profile. Extra arguments go to batchorder-host.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/build.sh release
# Watches var/inbox/orders.csv and places pending orders automatically, so that a newcomer can copy an
# instruction file from examples/instructions/ there and watch it being processed.
exec build/bin/batchorder-host --profile examples/profile.json --data-dir var \
    --watch var/inbox/orders.csv --auto-dispatch "$@"
