#!/usr/bin/env bash
# A bounded hostile run of the job programs: each case feeds them what a
# careless or a hostile world gives (a save killed at every step, damaged
# and forged files, archives made to deceive, names that are no names,
# texts that change while they are read, limits on memory and file size)
# and checks what the user gets: the exit code, a line of the output, and
# the files left behind. Every program runs under a time limit; the whole
# run takes a minute or two. Run by CTest (hostile.run) with the folder of
# the built bench programs.
set -u
bin="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
export QT_QPA_PLATFORM=offscreen

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# run LIMIT PROGRAM ARGS...: the program under a time limit; its output in
# $out, its exit code in $rc (124 when the limit ended it).
run() {
    local limit="$1"
    shift
    out=$(timeout -s KILL "$limit" "$@" 2>&1)
    rc=$?
}

# expect CODE PATTERN: the last run's exit code and a line of its output.
expect() {
    if [ "$rc" != "$1" ] || ! grep -q -- "$2" <<<"$out"; then
        fail "$3 -> exit $rc (wanted $1 and \"$2\")"
        echo "$out" | tail -5
    fi
}

# A corpus of a few texts of ordinary prose.
corpus="$work/corpus"
mkdir -p "$corpus"
for t in 1 2 3 4; do
    for i in $(seq 300); do
        printf 'The cat sat on the mat in text %s. A dog and the cat ran round the house %s times.\n' "$t" "$i"
    done >"$corpus/t$t.txt"
done
more="$work/more"
mkdir -p "$more"
for i in $(seq 200); do printf 'Another text with other words, and the cat again %s.\n' "$i"; done >"$more/m.txt"

# --- An index save killed at every step: every reader reads the old set or the new one.
for step in 1 2 3 4 5 6; do
    idx="$work/killed$step/I"
    mkdir -p "$(dirname "$idx")"
    run 60 "$bin/index_bench" --index "$idx" "$corpus"
    expect 0 "indexed" "make index for step $step"
    # The rename calls of a save: the commit record, then the four files.
    run 60 strace -f -qq -o /dev/null -e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:signal=KILL:when=$step \
        "$bin/index_bench" --index "$idx" --add "$more"
    [ "$rc" = 137 ] || [ "$rc" = 0 ] || fail "add killed at rename $step -> exit $rc"
    run 60 "$bin/index_bench" --index "$idx" --clusters 2 --min-freq 1 --top 3
    expect 0 "clusters" "clusters after a save killed at rename $step"
    run 60 "$bin/index_bench" --index "$idx" --relationships cat
    expect 0 "relationships" "relationships after a save killed at rename $step"
    # A writer afterwards completes or clears the save, and adds as ever.
    run 60 "$bin/index_bench" --index "$idx" --add "$more"
    expect 0 "indexed" "adding after a save killed at rename $step"
done

# --- A damaged word list whose settings block says it is 3 bytes long, read
# under a limit on memory: refused as damaged, nothing allocated for it.
run 60 "$bin/wordlist_bench" --out "$work/good.lst" "$corpus"
expect 0 "saved" "a word list saved"
python3 - "$work/good.lst" "$work/wset.lst" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
at = d.find(b'WSET')
d[at + 4:at + 8] = (3).to_bytes(4, 'little')
d[at + 8:at + 12] = (0xFFFFFFF0).to_bytes(4, 'little')
open(sys.argv[2], 'wb').write(d)
PY
run 60 prlimit --as=$((400 << 20)) "$bin/keywords_bench" "$work/wset.lst" "$work/good.lst"
expect 1 "damaged" "a word list with a 3-byte settings block"
grep -qi "memory" <<<"$out" && fail "a 3-byte settings block made the reader run out of memory"

# --- Key words under a limit on memory: lists generated, compared and run as
# a batch stop with the memory message and exit code 1, never an abort.
for limit in 100 200; do
    run 60 prlimit --as=$((limit << 20)) "$bin/keywords_bench" --generate
    expect 1 "not enough memory" "keywords_bench --generate under $limit MB"
    run 120 prlimit --as=$((limit << 20)) "$bin/keywords_bench" --batch 50
    expect 1 "not enough memory" "keywords_bench --batch 50 under $limit MB"
done

# --- Names: not UTF-8, a "|" in a loose file's name, a dangling link, a loop of links.
names="$work/names"
mkdir -p "$names"
cp "$corpus/t1.txt" "$names/plain.txt"
cp "$corpus/t2.txt" "$names/a|b.txt"
python3 -c "import sys; open(sys.argv[1].encode() + b'/bad\xff\xfe name.txt', 'w').write('words here\n')" "$names"
ln -s nowhere "$names/dangling.txt"
ln -s loop.txt "$names/loop.txt"
run 60 "$bin/index_bench" --index "$work/names-index" "$names"
expect 0 "indexed.2 texts" "a folder of odd names"
expect 0 "skipped: .*bad\\\\xff\\\\xfe name.txt: its name is not valid UTF-8" "a name that is not UTF-8"
expect 0 "skipped: .*dangling.txt: it is a link to nothing" "a dangling link"
expect 0 "skipped: .*loop.txt: its links lead round in a loop" "a loop of links"

# --- Zip archives: many entries, entries sharing one stream, zip64, absolute names.
zips="$work/zips"
mkdir -p "$zips/many" "$zips/bomb" "$zips/z64" "$zips/abs"
python3 - "$zips" <<'PY'
import sys, zipfile, io, struct
root = sys.argv[1]
with zipfile.ZipFile(root + '/many/many.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for k in range(20000):
        z.writestr('t%05d.txt' % k, 'The cat sat on mat %d.\n' % k)
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('t000.txt', b'the cat sat on the mat\n' * 200000)
data = bytearray(buf.getvalue())
cen, end = data.find(b'PK\x01\x02'), data.find(b'PK\x05\x06')
entry = bytes(data[cen:end])
entries = b''.join(entry.replace(b't000.txt', ('t%03d.txt' % k).encode()) for k in range(401))
tail = bytearray(data[end:end + 22])
struct.pack_into('<HHII', tail, 8, 401, 401, len(entries), cen)
open(root + '/bomb/bomb.zip', 'wb').write(bytes(data[:cen]) + entries + bytes(tail))
with zipfile.ZipFile(root + '/abs/abs.zip', 'w') as z:
    z.writestr(zipfile.ZipInfo('/abs/t.txt'), 'absolute words here\n')
PY
run 120 "$bin/index_bench" --index "$work/many-index" "$zips/many/many.zip"
expect 0 "indexed.20000 texts" "an archive of 20,000 entries"
run 60 "$bin/index_bench" --index "$work/bomb-index" "$zips/bomb/bomb.zip"
expect 1 "overlap" "an archive of entries sharing one stream"
printf 'zip sixty four words\n' >"$zips/z64/a.txt"
(cd "$zips/z64" && zip -q -fz z64.zip a.txt && rm a.txt)
run 60 "$bin/index_bench" --index "$work/z64-index" "$zips/z64/z64.zip"
expect 0 "indexed.1 texts.4 running words" "a zip64 archive"
run 60 "$bin/index_bench" --index "$work/abs-index" "$zips/abs/abs.zip"
expect 0 "indexed.1 texts.3 running words" "an entry with an absolute name"

# A text of 200 MB inside an archive of less than 1 MB is read as it
# unpacks: within 150 MB, as the same text loose.
mkdir -p "$zips/large"
python3 - "$zips/large/large.zip" <<'PY'
import sys, zipfile
line = b'The cat sat on the mat and the dog sat by it, and then it rained all day long.\n'
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    with z.open('large.txt', 'w', force_zip64=True) as f:
        for i in range(250):
            f.write(line * 10000)
PY
run 60 prlimit --as=$((150 << 20)) "$bin/wordlist_bench" "$zips/large/large.zip"
expect 0 "running words	47500000" "a 200 MB entry read within 150 MB"

# --- Out of memory: a job on an index too large for the memory it may take,
# and a concordance that outgrows it, end with a message, not an abort.
cp -r "$work/killed1" "$work/huge"
python3 - "$work/huge/I.markup" <<'PY'
import sys, zlib
name = sys.argv[1]
d = bytearray(open(name, 'rb').read())
n = 60_000_000
body = n.to_bytes(8, 'little') + b'\x00\x02' * n
head = d[:97]
head[85:93] = len(body).to_bytes(8, 'little')
head[93:97] = zlib.crc32(body).to_bytes(4, 'little')
open(name, 'wb').write(bytes(head) + body)
PY
run 60 prlimit --as=$((300 << 20)) "$bin/index_bench" --index "$work/huge/I" --clusters 2
expect 1 "not enough memory" "clusters of an index larger than the memory"
run 60 prlimit --as=$((300 << 20)) "$bin/index_bench" --index "$work/huge/I" --relationships cat
expect 1 "not enough memory" "relationships of an index larger than the memory"
mkdir -p "$work/thes"
yes 'the the the the the the the the the the' | head -c 20000000 >"$work/thes/the.txt"
run 120 prlimit --as=$((700 << 20)) "$bin/concordance_bench" "$work/thes" 20 the
# (A concordance that bounds what it holds may also end well.)
if [ "$rc" != 0 ] && { [ "$rc" != 1 ] || ! grep -q "not enough memory" <<<"$out"; }; then
    fail "a concordance larger than the memory -> exit $rc"
    echo "$out" | tail -5
fi

# --- The other bench programs under limits on memory: each ends well or
# with the job programs' message and exit code 1, never an abort.
for mb in 60 120; do
    for job in "conc_analyses_bench 100000 10" "textread_bench $corpus 20" "keyword_plots_bench --words 20000 --repeat 1" \
               "matrix_bench 3000" "general_tree_bench 2000000 100000"; do
        run 120 env -u CV_SAMPLE_CORPUS prlimit --as=$((mb << 20)) $bin/$job
        if [ "$rc" != 0 ] && { [ "$rc" != 1 ] || ! grep -q "not enough memory" <<<"$out"; }; then
            fail "$job within $mb MB -> exit $rc"
            echo "$out" | tail -5
        fi
    done
done

# --- Threads that cannot be started under a tight limit on memory: the word
# list reads on the threads that started (or on one), the clusters are
# counted so, or the job ends with its message; never an abort.
run 60 "$bin/wordlist_bench" --threads 1 --out "$work/one-thread.lst" "$corpus"
expect 0 "saved" "a word list read on one thread"
mkdir -p "$work/threads"
run 60 "$bin/index_bench" --index "$work/threads/I" "$corpus"
expect 0 "indexed" "an index for clusters counted on threads"
for mb in 60 80 100 120 140 160 180 200; do
    for job in list clusters; do
        if [ "$job" = list ]; then
            run 60 prlimit --as=$((mb << 20)) "$bin/wordlist_bench" --threads 4 --out "$work/threads.lst" \
                --compare "$work/one-thread.lst" "$corpus"
            good="the same bytes"
        else
            run 60 prlimit --as=$((mb << 20)) "$bin/index_bench" --index "$work/threads/I" --clusters 2 --threads 4 \
                --table-mb 1 --min-freq 1 --top 3
            good="^clusters"
        fi
        if ! { [ "$rc" = 0 ] && grep -q -- "$good" <<<"$out"; } && ! { [ "$rc" = 1 ] && grep -q "not enough memory" <<<"$out"; }; then
            fail "the $job on four threads within $mb MB -> exit $rc"
            echo "$out" | tail -5
        fi
    done
done

# --- A limit on the size of a file: the save fails with the reason, the old files stay.
cp "$work/good.lst" "$work/kept.lst"
run 60 bash -c "ulimit -f 2; exec \"$bin/wordlist_bench\" --out \"$work/kept.lst\" \"$corpus\""
expect 1 "File too large" "a word list saved beyond the file-size limit"
cmp -s "$work/good.lst" "$work/kept.lst" || fail "the word list was changed by a save beyond the file-size limit"
run 60 bash -c "ulimit -f 4; exec \"$bin/index_bench\" --index \"$work/killed1/I\" --add \"$corpus\""
expect 1 "File too large" "texts added to an index beyond the file-size limit"
run 60 "$bin/index_bench" --index "$work/killed1/I" --clusters 2
expect 0 "clusters" "the index after a save beyond the file-size limit"

# --- A text that grows while it is read ends the job.
mkdir -p "$work/growing"
cp "$corpus/t1.txt" "$work/growing/g.txt"
(while :; do printf 'and more words\n' >>"$work/growing/g.txt"; done) &
writer=$!
run 60 "$bin/wordlist_bench" "$work/growing"
kill "$writer" 2>/dev/null
wait "$writer" 2>/dev/null
expect 0 "running words" "a text that grows while it is read"

# --- What a killed save of a word list left beside it goes with the next save.
cp "$work/good.lst" "$work/left.lst"
printf 'half a list' >"$work/left.lst.QwErTy"
touch -d '2 hours ago' "$work/left.lst.QwErTy"
run 60 "$bin/wordlist_bench" --out "$work/left.lst" "$corpus"
expect 0 "saved" "a word list saved where a killed save left its temporary file"
[ -e "$work/left.lst.QwErTy" ] && fail "the leftover of a killed save is still there"

# --- An ASCII text of identical lines with a tag mark is read as ASCII
# (two words a line), not as 20,001 words of UTF-16.
mkdir -p "$work/marks"
python3 -c "import sys; open(sys.argv[1], 'wb').write(b'hbdeqscywm\x19xdjgvhxzncyigm\n' * 20001)" "$work/marks/m.txt"
run 60 "$bin/wordlist_bench" --top 3 "$work/marks"
expect 0 "running words	40002	types	2" "an ASCII text of identical lines"

# --- Files whose checks match but whose contents cannot be.
cp -r "$work/killed2" "$work/zeros"
python3 - "$work/zeros/I.tokens" <<'PY'
import sys, zlib
name = sys.argv[1]
d = bytearray(open(name, 'rb').read())
body = bytes(len(d) - 97)
d[93:97] = zlib.crc32(body).to_bytes(4, 'little')
open(name, 'wb').write(bytes(d[:97]) + body)
PY
run 60 "$bin/index_bench" --index "$work/zeros/I" --relationships cat
expect 1 "the index is damaged" "an index whose tokens are all numbers"
python3 - "$work/good.lst" "$work/forged.lst" <<'PY'
import sys, zlib
d = bytearray(open(sys.argv[1], 'rb').read())
at = d.find(b'CVWL')
d[at + 8:at + 16] = (2**63 - 1).to_bytes(8, 'little')
crc = d.rfind(b'CRC ')
d[crc + 8:crc + 12] = zlib.crc32(bytes(d[:crc])).to_bytes(4, 'little')
open(sys.argv[2], 'wb').write(d)
PY
run 60 "$bin/keywords_bench" "$work/forged.lst" "$work/good.lst"
expect 1 "its texts hold" "a word list of 2^63-1 running words"

[ "$failures" = 0 ] && echo "all hostile cases passed"
exit $((failures > 0))
