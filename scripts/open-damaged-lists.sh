#!/usr/bin/env bash
# Opens damaged word lists in the word-list program built with the address
# and undefined-behaviour sanitizers, one program run per list, as a user
# would open them: the program starts, opens the list, shows what it could
# read and ends (CV_QUIT_AFTER_START_MS). Any sanitizer report, crash, abort
# or hang is kept: the list that caused it and the program's output go into
# the results folder.
#
#   scripts/open-damaged-lists.sh [ROUNDS] [PER_LIST] [LIST.lst...]
#
# ROUNDS rounds (default 1), each with fresh damaged copies (PER_LIST of each
# list, default 40) of the given lists; without lists, the kept samples of
# tests/data and lists made by the release build's wordlist_bench from the
# sample corpus (scripts/get-sample-corpus.sh). The sanitizer build lives in
# build-asan/; the results in build-asan/damaged-lists/. PROGRAM names another
# build of the program to run instead (the release build, say: a damaged
# heap shows there as glibc's own abort, which the sanitizer's allocator
# would hide). Not for CI: a round of 500 lists takes minutes.
set -uo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-1}"
per_list="${2:-40}"
shift $(($# > 2 ? 2 : $#))
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
if [ -z "${PROGRAM:-}" ] && [ ! -f build-asan/build.ninja ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCV_BUILD_TESTS=OFF -DCV_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null || exit 1
fi
if [ -n "${PROGRAM:-}" ]; then
  program="$PROGRAM"
else
  cmake --build build-asan -j4 --target corvantis-wordlist >/dev/null || exit 1
  program="$PWD/build-asan/apps/wordlist/corvantis-wordlist"
fi
results="$PWD/build-asan/damaged-lists"
mkdir -p "$results"

lists=("$@")
if [ ${#lists[@]} -eq 0 ]; then
  lists=(tests/data/wordlist/*.lst)
  if corpus=$(scripts/get-sample-corpus.sh 2>/dev/null) && [ -x build/bench/wordlist_bench ]; then
    made="$results/made"
    mkdir -p "$made"
    [ -f "$made/corpus.lst" ] || build/bench/wordlist_bench --out "$made/corpus.lst" "$corpus" >/dev/null
    [ -f "$made/one.lst" ] || build/bench/wordlist_bench --out "$made/one.lst" "$(ls -d "$corpus"/* | head -1)" >/dev/null
    lists+=("$made/corpus.lst" "$made/one.lst")
  fi
fi

# The runs share a sandbox of their own (settings buffer, mutex, sockets),
# away from a suite that may be running.
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
# The crash-report core copies a new thread's creator's stack as raw bytes,
# on purpose: a read the address sanitizer would take for an overflow.
printf 'interceptor_via_fun:*CopyOfOwnStack*\n' >"$sandbox/asan.supp"
export QT_QPA_PLATFORM=offscreen CV_NO_CONTROLLER=1
export CV_SETTINGS_BUFFER="$sandbox/settings" CV_MUTEX_NAME="damaged-lists-$$" CV_MESSAGE_SOCKET_DIR="$sandbox"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:suppressions=$sandbox/asan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export program results

# One list: opened, shown for a while (a different while each time, so that
# the window's timers and painting meet the list at different moments), closed.
open_one() {
  local list="$1" out rc
  out=$(CV_QUIT_AFTER_START_MS=$((RANDOM % 400)) timeout -s KILL 60 "$program" "$list" 2>&1)
  rc=$?
  if [ "$rc" != 0 ] || grep -qE "AddressSanitizer|runtime error:|corrupted|free\(\)|Segmentation|[Cc]rash report" <<<"$out"; then
    local keep="$results/$(basename "$list" .lst)-rc$rc"
    cp "$list" "$keep.lst"
    printf '%s\n' "$out" >"$keep.txt"
    echo "FOUND $(basename "$list"): exit $rc (kept as $keep.lst)"
  fi
}
export -f open_one

found=0
for round in $(seq "$rounds"); do
  corpus="$sandbox/round"
  rm -rf "$corpus"
  python3 scripts/damaged_lists.py "$corpus" "$((RANDOM * 32768 + RANDOM))" "$per_list" "${lists[@]}" >/dev/null
  log=$(find "$corpus" -name '*.lst' -print0 | xargs -0 -n 1 -P 4 bash -c 'open_one "$0"')
  [ -n "$log" ] && printf '%s\n' "$log"
  found=$((found + $(grep -c '^FOUND' <<<"$log")))
  echo "round $round: $(find "$corpus" -name '*.lst' | wc -l) lists opened, $found with a finding so far"
done
exit $((found > 0))
