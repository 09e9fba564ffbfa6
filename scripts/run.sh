#!/usr/bin/env bash
# Sets up the machine, builds, and runs the tool's main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
echo "run: nothing to run yet"
