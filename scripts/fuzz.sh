#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) in build-fuzz/ and runs each for a bounded time over its kept
# inputs. CV_FUZZ_SECONDS sets the seconds per target (default 10). Any
# report of either sanitizer ends its run as a failure (undefined behaviour
# included: it is not let go on after the report).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${CV_FUZZ_SECONDS:-10}"
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all"
if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCV_BUILD_FUZZ=ON -DCV_BUILD_BENCH=OFF -DCV_FUZZ_SECONDS="$seconds" \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null
fi
cmake -B build-fuzz -DCV_FUZZ_SECONDS="$seconds" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
targets=$(find tests/fuzz -name '*_fuzz.cpp' -exec basename {} .cpp \;)
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" --target $targets
ctest --test-dir build-fuzz --output-on-failure -R '^fuzz\.' -j "$(nproc 2>/dev/null || echo 2)"
