#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
cd "$BUILD_DIR"
ctest -j "$jobs" --output-on-failure --timeout 300 "$@"
