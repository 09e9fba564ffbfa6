#!/usr/bin/env bash
# The cluster lists stay the same to the byte: the lists `index_bench
# --clusters N` prints (the most frequent, and every cluster in the order
# the job lists them, with texts and dispersion) and the lists saved (with
# phrase frames joined) are checked against reference checksums of the
# lists the build before the blocked count made (REFERENCE: one line
# "<case> <sha256>" each). On a generated corpus of three million words,
# also with a table small enough for the counts to go to run files, and on
# the sample corpus when CV_SAMPLE_CORPUS names it. Run by CTest
# (bench.cluster_lists) with the folder of the built programs.
#
#   cluster_lists_check.sh BIN REFERENCE [--write]
#
# --write prints the checksums of this build in REFERENCE's form instead
# (how the reference was made, with the build before).
set -u
bin="$1"
reference="$2"
write="${3:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The lines of a run that are its result (not its times, memory or files).
result() {
    grep -v -e '^time' -e '^goal' -e '^run files' -e '^scratch files' -e '^peak memory' | sed -e 's/;.*//'
}

# check CASE INDEX ARGS...: the printed list, and the saved one when --save is among ARGS.
check() {
    local name="$1" index="$2"
    shift 2
    local out
    if ! out=$(timeout 120 "$bin/index_bench" --index "$index" "$@" 2>&1); then
        echo "FAILED: $name: index_bench --index $index $*"
        echo "$out" | head -5
        failures=$((failures + 1))
        return
    fi
    report "$name" "$(printf '%s\n' "$out" | result | sha256sum | cut -d' ' -f1)"
    if [ -f "$work/saved.lst" ]; then
        report "$name.saved" "$(sha256sum <"$work/saved.lst" | cut -d' ' -f1)"
        rm -f "$work/saved.lst"
    fi
}

report() {
    if [ -n "$write" ]; then
        echo "$1 $2"
        return
    fi
    local wanted
    wanted=$(awk -v n="$1" '$1 == n { print $2 }' "$reference")
    if [ -z "$wanted" ]; then
        echo "FAILED: $1: no reference checksum"
        failures=$((failures + 1))
    elif [ "$wanted" != "$2" ]; then
        echo "FAILED: $1: the list differs from the reference"
        failures=$((failures + 1))
    fi
}

cases() {
    local corpus="$1" index="$2"
    check "$corpus.top2" "$index" --clusters 2 --top 2000
    check "$corpus.all2" "$index" --clusters 2 --all
    check "$corpus.all3" "$index" --clusters 3 --all
    check "$corpus.all4" "$index" --clusters 4 --all --min-freq 2
    check "$corpus.frames3" "$index" --clusters 3 --frames --top 0 --save "$work/saved.lst"
    check "$corpus.frames4" "$index" --clusters 4 --frames --top 0 --min-freq 2 --save "$work/saved.lst"
}

timeout 120 "$bin/index_bench" --generate-words 3000000 --generate-types 100000 --generate-texts 30 \
    --corpus "$work/generated" >/dev/null || { echo "FAILED: cannot generate a corpus"; exit 1; }
timeout 120 "$bin/index_bench" --index "$work/generated.idx" "$work/generated" >/dev/null \
    || { echo "FAILED: cannot index the generated corpus"; exit 1; }
cases generated "$work/generated.idx"
# Counts of the blocks in run files give the same lists.
check generated.all2 "$work/generated.idx" --clusters 2 --all --table-mb 1
check generated.frames3 "$work/generated.idx" --clusters 3 --frames --top 0 --table-mb 1 --save "$work/saved.lst"

if [ -n "${CV_SAMPLE_CORPUS:-}" ] && [ -d "$CV_SAMPLE_CORPUS" ]; then
    timeout 120 "$bin/index_bench" --index "$work/sample.idx" "$CV_SAMPLE_CORPUS" >/dev/null \
        || { echo "FAILED: cannot index the sample corpus"; exit 1; }
    cases sample "$work/sample.idx"
elif [ -z "$write" ]; then
    echo "the sample corpus is not named (CV_SAMPLE_CORPUS): its lists are not checked"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
[ -n "$write" ] || echo "the cluster lists are the same as the reference's"
