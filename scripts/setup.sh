#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Safe to run again: packages already present are skipped without touching apt.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools
  zlib1g-dev libminizip-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  python3 unzip zip
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
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
