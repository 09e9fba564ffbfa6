#!/usr/bin/env bash
# Sets up the machine, builds, and runs the tool's main job: the word list of
# the sample corpus, saved as a ".lst" file in the output folder
# (CV_OUTPUT_DIR, else ~/corvantis-output).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
corpus=$(scripts/get-sample-corpus.sh)
out="${CV_OUTPUT_DIR:-$HOME/corvantis-output}"
mkdir -p "$out"
build/bench/wordlist_bench --top 20 --out "$out/sample.lst" "$corpus"
echo "run: the word list of the sample corpus is in $out/sample.lst"
