#!/usr/bin/env bash
# Compares the crash report's disassembler with binutils' objdump -d -M intel
# over the whole .text of each ELF file given (by default the tool's program
# file and the C library): every instruction must have objdump's length, and
# its text objdump's text or a difference of a kind the test's table of
# known differences lists (tests/crashreport/core/disasm/disassembler_oracle_testutil.cpp).
# The unit test compares a bounded sample of the same files; this is the
# whole comparison. Needs the release build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  files=(build/apps/wordlist/corvantis-wordlist /lib/x86_64-linux-gnu/libc.so.6)
fi
list=""
for f in "${files[@]}"; do
  list="${list:+$list:}$(readlink -f "$f")"
done
CV_DISASM_COMPARE_FILES="$list" build/tests/crashreport/core/crashreport_core_tests \
  --gtest_filter='TDisAsmObjdump.AgreesOnGivenFiles' --gtest_brief=1
