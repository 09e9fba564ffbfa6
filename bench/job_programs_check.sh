#!/usr/bin/env bash
# The job programs on bad arguments and bad input: a usage message and exit
# code 2 for arguments, a clear message and exit code 1 (never a loop) for
# empty or unreadable input, every text passed over named with its reason.
# Run by CTest (bench.job_programs) with the folder of the built programs.
set -u
bin="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/empty" "$work/blank" "$work/binary" "$work/mixed" "$work/onebyte" "$work/onetext"
printf 'x' >"$work/onebyte/a.txt"
printf 'One text alone, too few for key words and a reference.\n' >"$work/onetext/a.txt"
: >"$work/blank/nothing.txt"
head -c 4000 /dev/zero | tr '\0' '\001' >"$work/binary/data.txt"
cp "$work/binary/data.txt" "$work/mixed/data.txt"
for i in $(seq 400); do printf 'The cat sat on the mat. The dog sat on the cat.\n'; done >"$work/mixed/text.txt"
mkfifo "$work/mixed/pipe.txt"
failures=0

# expect CODE PATTERN PROGRAM ARGS...: the exit code and a line of the output.
expect() {
    local code="$1" pattern="$2"
    shift 2
    local out rc
    out=$(timeout 60 "$bin/$1" "${@:2}" 2>&1)
    rc=$?
    if [ "$rc" != "$code" ] || ! grep -q -- "$pattern" <<<"$out"; then
        echo "FAILED: $* -> exit $rc (wanted $code and \"$pattern\")"
        echo "$out" | head -5
        failures=$((failures + 1))
    fi
}

# Every program of the folder gives its usage when asked, and refuses an
# option it does not know with its usage.
for path in "$bin"/*_bench; do
    program=$(basename "$path")
    expect 0 "usage: $program" "$program" --help
    expect 2 "usage: $program" "$program" --no-such-option
done

# Bad arguments.
expect 2 "whole number from 2 to 12" index_bench --index "$work/idx" --clusters 99
expect 2 "whole number from 0 to 8" index_bench --index "$work/idx" --span abc
expect 2 "needs a value" index_bench --index
expect 2 "usage:" index_bench --index "$work/idx" --top 5000000000
expect 2 "needs a value" wordlist_bench --out
expect 2 "unknown option" wordlist_bench --fast "$work/mixed"
expect 2 "whole number from 0 to 2" keywords_bench --statistic 7 a.lst b.lst
expect 2 "usage:" keywords_bench only-one.lst
expect 2 "megabytes" concordance_bench "$work/mixed" lots
expect 2 "usage:" search_engine_bench
expect 2 "megabytes" textread_bench "$work/mixed" -3
expect 2 "words per text" conc_analyses_bench many
expect 2 "takes xlsx, txt, xml or rtf" window_output_bench --corpus "$work/mixed" --format pdf
expect 2 "usage:" window_output_bench --index "$work/idx"
expect 2 "words per text takes a whole number from 1 to 10000000" conc_analyses_bench -5
expect 2 "more than the 100000000 words" conc_analyses_bench 10000000 100
expect 2 "too many arguments" conc_analyses_bench 10 1 "$work/mixed" more
expect 2 "whole number from 1 to 10000000, not \"99999999999\"" keyword_plots_bench --words 99999999999
expect 2 "whole number from 1 to 10000000, not \"-5\"" keyword_plots_bench --words -5
expect 2 "whole number from 1 to 1000, not \"x\"" keyword_plots_bench --repeat x
expect 2 "whole number from 1 to 16384, not \"100000\"" matrix_bench 100000
expect 2 "whole number from 1 to 16384, not \"abc\"" matrix_bench abc
expect 2 "whole number from 1 to 200" call_stack_bench 0
expect 2 "whole number from 0 to 1000000" call_stack_bench 5 -1
expect 2 "whole number from 1 to 1000" crash_startup_bench --faults many
expect 2 "whole number from 1 to 100000000" general_tree_bench -5
expect 2 "whole number from 1 to 10000000" general_tree_bench 10 0
expect 2 "whole number from 1 to 1000000" lemmatiser_bench 0
expect 2 "hexadecimal number" addr_lookup_bench "$bin/matrix_bench" zz
expect 2 "whole number from 1 to 10000000" addr_lookup_bench "$bin/matrix_bench" --random 0
expect 2 "one file at a time" disasm_bench a b
expect 2 "one tool program at a time" report_text_bench a b
expect 2 "whole number from 1 to 1000000" zip_reading_bench 0
expect 2 "whole number from 1 to 4000" zip_reading_bench --large 0
expect 2 "too many arguments" textread_bench "$work/mixed" 1 2
expect 2 "no corpus folder named" search_engine_bench

# Empty or unreadable input.
for program in wordlist_bench concordance_bench search_engine_bench textread_bench; do
    expect 1 "no texts to read" "$program" "$work/empty"
done
expect 1 "no texts to read" index_bench --index "$work/idx" "$work/empty"
expect 1 "no texts to read" conc_analyses_bench 10 1 "$work/empty"
expect 1 "no texts to read" window_output_bench --corpus "$work/empty"
expect 1 "the texts" concordance_bench "$work/blank" 1
expect 1 "no text in" search_engine_bench "$work/blank" 1
expect 1 "the texts are empty" textread_bench "$work/blank" 1
for program in concordance_bench textread_bench; do
    expect 1 "binary data" "$program" "$work/binary" 1
done
expect 1 "binary data" wordlist_bench "$work/binary"
expect 1 "binary data" index_bench --index "$work/idx" "$work/binary"
expect 1 "none of the texts could be read" conc_analyses_bench 10 1 "$work/binary"
expect 1 "not a saved word list" keywords_bench "$work/mixed/text.txt" "$work/mixed/text.txt"
# A study or a reference list that is not there is named.
"$bin/wordlist_bench" --out "$work/list.lst" "$work/mixed/text.txt" >/dev/null 2>&1
expect 1 "absent-study.lst: no such file" keywords_bench "$work/absent-study.lst" "$work/list.lst"
expect 1 "absent-reference.lst.*no such file" keywords_bench "$work/list.lst" "$work/absent-reference.lst"

# Too little to measure: a corpus read again and again would time the loop.
for program in concordance_bench textread_bench search_engine_bench; do
    expect 1 "too few to measure" "$program" "$work/onebyte" 1
done
expect 1 "two or more" keyword_plots_bench "$work/onetext"

# A run of several: what was passed over is named, only what was used counts.
expect 0 "skipped: .*pipe.txt: it is a named pipe" wordlist_bench "$work/mixed"
expect 0 "skipped: .*data.txt.*binary data" wordlist_bench "$work/mixed"
expect 0 "indexed.1 texts.4800 running words" index_bench --index "$work/idx" "$work/mixed"
expect 0 "skipped: .*data.txt.*binary data" index_bench --index "$work/idx" --add "$work/mixed"
expect 0 "skipped: .*data.txt.*binary data" conc_analyses_bench 10 1 "$work/mixed"
expect 0 "skipped: .*data.txt.*not a UTF-8 text" search_engine_bench "$work/mixed" 1
expect 0 "skipped: .*pipe.txt" textread_bench "$work/mixed" 1
expect 0 "skipped: .*data.txt.*binary data" concordance_bench "$work/mixed" 1
expect 0 "txt export.*6 data rows chosen" window_output_bench --corpus "$work/mixed" --format txt

# Out of memory: the job programs' message and exit code 1, never an abort.
out=$(timeout 60 prlimit --as=$((1 << 30)) "$bin/matrix_bench" 16384 2>&1)
if [ $? != 1 ] || ! grep -q "not enough memory to multiply and invert matrices" <<<"$out"; then
    echo "FAILED: matrix_bench 16384 within 1 GB -> no message of memory"
    echo "$out" | head -5
    failures=$((failures + 1))
fi

# Zip archives: the concordance reads their texts as the word list does;
# an entry is read as it unpacks, in the memory the same text loose takes.
mkdir -p "$work/zipped" "$work/noted"
python3 - "$work/zipped/texts.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("a.txt", "The cat sat on the mat. " * 2000)
    z.writestr("b.txt", "The dog sat on the cat. " * 2000)
PY
expect 0 "2 texts" concordance_bench "$work/zipped/texts.zip" 1
expect 0 "indexed.2 texts.24000 running words" index_bench --index "$work/zidx" "$work/zipped/texts.zip"
expect 0 "goal.*met" zip_reading_bench --large 40

# What the reading notes of a text read all the same, every job says.
{ printf '\xEF\xBB\xBF'; for i in $(seq 100); do printf 'Gr\xFC\xDFe aus K\xF6ln, \xFCberall und immer.\n'; done; } >"$work/noted/latin1.txt"
expect 0 "note: .*latin1.txt: the text does not look like UTF-8" wordlist_bench "$work/noted"
expect 0 "note: .*latin1.txt: the text does not look like UTF-8" concordance_bench "$work/noted" 1
expect 0 "note: .*latin1.txt: the text does not look like UTF-8" index_bench --index "$work/nidx" "$work/noted"

# The yardstick that cannot be started says so.
out=$(PATH=/nonexistent-folder "$bin/wordlist_bench" "$work/mixed/text.txt" 2>&1)
if [ $? != 0 ] || ! grep -q "wc -w could not be started" <<<"$out"; then
    echo "FAILED: wordlist_bench without wc -> no word of it"
    echo "$out" | head -5
    failures=$((failures + 1))
fi

[ "$failures" = 0 ] && echo "all job-program checks passed"
exit $((failures > 0))
