#!/usr/bin/env python3
"""Checks that a class and its file have one name: every source under src/
has a header of its own name beside it (x.cpp and x.h), or it holds part of
what another header declares and its first line says whose part it is:

    // Part of TClassName (room/header.h), ...   members of a class
    // Part of room/header.h: ...                 part of a header's procedures

The header is named by its path under src/, as includes write it. It must
exist and the source must include it, and a class named before it must be
declared there (a forward declaration is not enough), so a first line left
stale by a move or a rename fails too. The name of a class's part begins
with its header's (marvex_holder_run.cpp is part of the class of
marvex_holder.h), so the class's files sort together wherever they stand.
Why the part stands apart (a room above the class's, or a file by topic) is
for the rest of the comment.

Prints each offence and exits 1; prints nothing and exits 0 when every source
holds.

Usage: check-file-names.py [SOURCE_DIR]   (default: the checkout holding it)
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent
src = root / "src"

first_line = re.compile(r"// Part of (?:(?P<cls>[A-Za-z_]\w*) \((?P<header>[\w/.-]+\.h)\)|(?P<bare>[\w/.-]+\.h)\b)")
offences = []


def declares(header_text, name):
    return re.search(r"^\s*(?:class|struct)\s+" + re.escape(name) + r"\b(?:\s+final)?\s*[:{]", header_text, re.M)


for path in sorted(src.rglob("*.cpp")):
    if path.with_suffix(".h").is_file():
        continue
    shown = path.relative_to(root).as_posix()
    text = path.read_text(errors="replace")
    match = first_line.match(text.partition("\n")[0])
    if not match:
        offences.append(f'{shown}: no {path.stem}.h beside it, and its first line does not say whose part it is '
                        f'("// Part of <class> (<header>)")')
        continue
    header = match["header"] or match["bare"]
    if not (src / header).is_file():
        offences.append(f"{shown}: its first line names {header}, which is no header under src/")
        continue
    if not re.search(r'^\s*#\s*include\s+"' + re.escape(header) + '"', text, re.M):
        offences.append(f"{shown}: its first line names {header}, which it does not include")
    if match["cls"]:
        if not declares((src / header).read_text(errors="replace"), match["cls"]):
            offences.append(f"{shown}: its first line names {match['cls']}, which {header} does not declare")
        stem = pathlib.PurePosixPath(header).stem
        if not path.stem.startswith(stem + "_"):
            offences.append(f"{shown}: holds part of {match['cls']}, so its name begins with {stem}_")

for offence in offences:
    print(offence)
sys.exit(1 if offences else 0)
