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

A source that also defines members of a class declared in another header
(a member defined from the first column, "Type TClass::Member(") names that
class in its first line too:

    // Also part of TClassName (room/header.h): ...

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
named_part = re.compile(r"[Pp]art of (\w+) \(([\w/.-]+\.h)\)")
declaration = re.compile(r"^\s*(?:class|struct)\s+(\w+)\b(?:\s+final)?\s*[:{]", re.M)
# A member defined at namespace level: "Type TClass::Member(" from the first
# column (a call in a body stands indented).
definition = re.compile(r"^(?:[\w:<>,*&][\w:<>,*& ]*[\s*&])?(\w+)::~?\w+\s*\(", re.M)
offences = []

declared_in = {}  # class -> the headers under src/ that declare it
for header in sorted(src.rglob("*.h")):
    for name in declaration.findall(header.read_text(errors="replace")):
        declared_in.setdefault(name, set()).add(header.relative_to(src).as_posix())


def includes(text, header):
    return re.search(r'^\s*#\s*include\s+"' + re.escape(header) + '"', text, re.M)


def check_part(path, shown, text, match):
    """A source without a header of its own name: its first line `match`."""
    header = match["header"] or match["bare"]
    if not (src / header).is_file():
        offences.append(f"{shown}: its first line names {header}, which is no header under src/")
        return
    if not includes(text, header):
        offences.append(f"{shown}: its first line names {header}, which it does not include")
    if match["cls"]:
        if header not in declared_in.get(match["cls"], ()):
            offences.append(f"{shown}: its first line names {match['cls']}, which {header} does not declare")
        stem = pathlib.PurePosixPath(header).stem
        if not path.stem.startswith(stem + "_"):
            offences.append(f"{shown}: holds part of {match['cls']}, so its name begins with {stem}_")


for path in sorted(src.rglob("*.cpp")):
    shown = path.relative_to(root).as_posix()
    text = path.read_text(errors="replace")
    line = text.partition("\n")[0]
    own = path.with_suffix(".h")
    named = {header for _, header in named_part.findall(line)}
    if own.is_file():
        named.add(own.relative_to(src).as_posix())
    else:
        match = first_line.match(line)
        if not match:
            offences.append(f'{shown}: no {own.name} beside it, and its first line does not say whose part it is '
                            f'("// Part of <class> (<header>)")')
            continue
        check_part(path, shown, text, match)
        named.add(match["header"] or match["bare"])
    # Members of a class declared elsewhere: the first line says whose.
    local = set(declaration.findall(text))
    for name in sorted(set(definition.findall(text)) - local):
        headers = declared_in.get(name)
        if headers and not headers & named:
            offences.append(f"{shown}: defines members of {name} ({', '.join(sorted(headers))}), and its first line "
                            f'does not say so ("// Also part of {name} (<header>)")')

for offence in offences:
    print(offence)
sys.exit(1 if offences else 0)
