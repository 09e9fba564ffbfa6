#!/usr/bin/env bash
# Sets up the machine, builds, and starts the word-list tool's window
# (build/apps/wordlist/corvantis-wordlist); any further arguments go to the
# tool, e.g. a saved word list to open. The tool starts the suite's
# controller when none runs. It needs a display (or QT_QPA_PLATFORM=offscreen
# with CV_QUIT_AFTER_START_MS set, see docs/wordlist-program.md).
#
#   scripts/run.sh --batch   instead makes the word list of the sample corpus
#                            without a window, saved as a ".lst" file in the
#                            output folder (CV_OUTPUT_DIR, else ~/corvantis-output);
#                            so does a run without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
# Without a display (and no Qt platform chosen) the window cannot open: the
# job runs without it instead, and says so before it starts.
batch="${1:-}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ] && [ "$batch" != "--batch" ]; then
  cat >&2 <<EOF
run: there is no display here (DISPLAY and WAYLAND_DISPLAY are unset), so the
run: word-list window cannot open. This run sets up the machine and builds as
run: usual, then, instead of the window, fetches the sample corpus, makes its
run: word list without a window (as scripts/run.sh --batch does), prints its
run: 20 most frequent words and saves the list in
run: ${CV_OUTPUT_DIR:-$HOME/corvantis-output}/sample.lst.
run: To see the window, run scripts/run.sh where there is a display.
EOF
  batch="--batch"
fi
scripts/setup.sh
scripts/build.sh
if [ "$batch" = "--batch" ]; then
  corpus=$(scripts/get-sample-corpus.sh) || {
    echo "run: the sample corpus could not be fetched, so no word list was made" >&2
    exit 1
  }
  out="${CV_OUTPUT_DIR:-$HOME/corvantis-output}"
  mkdir -p "$out"
  build/bench/wordlist_bench --top 20 --out "$out/sample.lst" "$corpus"
  echo "run: the word list of the sample corpus is in $out/sample.lst"
  exit 0
fi
exec build/apps/wordlist/corvantis-wordlist "$@"
