#!/usr/bin/env bash
# Configures and builds the optimised tree in build/ with all cores (ccache on).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
[ -f build/build.ninja ] || cmake --preset release >/dev/null
cmake --build build -j "$jobs"
