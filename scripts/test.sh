#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# End-to-end tests read the sample corpus; fetch it once into the cache.
if CV_SAMPLE_CORPUS=$(scripts/get-sample-corpus.sh); then
  export CV_SAMPLE_CORPUS
else
  echo "test: sample corpus not available; end-to-end tests on it will be skipped" >&2
fi
if CV_BROWN_CORPUS=$(scripts/get-sample-corpus.sh brown); then
  export CV_BROWN_CORPUS
else
  echo "test: Brown corpus not available; end-to-end tests on it will be skipped" >&2
fi
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@"
cd ..
# Bounded fuzz runs of the file and text readers (clang, sanitizers).
scripts/fuzz.sh
