#!/usr/bin/env bash
# Pictures of every crash-report dialog, as a user would see them: the
# dialog tests show each dialog under a virtual X server (Xvfb) and write
# it as PNG into the folder given (default /tmp/crash-dialogs), outside the
# repository. Needs the release build (build/).
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${1:-/tmp/crash-dialogs}"
mkdir -p "$folder"
xvfb-run -a env QT_QPA_PLATFORM=xcb CV_ARTEFACTS_DIR="$folder" \
  build/tests/crashreport/dialogs/crashreport_dialogs_tests --gtest_filter='DialogArtefacts*'
echo "Pictures in $folder"
