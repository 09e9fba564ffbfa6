#!/usr/bin/env python3
"""Checks that every file a page of docs/ (or the README) names is in the
tree: a page that names a file which was moved or renamed sends its reader
nowhere.

A name is taken as a file of the tree when it stands in backticks, or in
the text starting with a top folder ("src/...", "docs/..."), and
  - starts with a top folder of the tree (src/, apps/, bench/, docs/,
    scripts/, tests/, cmake/) or build/;
  - or holds a "/" and its first part is a folder of the tree
    ("crashreport/core/capture/", "handler/log_saving.cpp");
  - or is a bare name of a source or a page ("call_stack.h", "speed.md",
    "call_stack.*").
It is found when it is a path from the top, from src/, or the end of a path
in the tree ("handler/log_saving.cpp" is src/crashreport/core/handler/...).
"name.*" asks for any file of that name; "{a,b}" for each; a name under
build/ for its folder in the sources and, for a program, a source or a
CMake target of its name. Names that only stand for others (with "<", "$",
"*" elsewhere than "name.*", "XXXX", a one-letter stem such as "x.h") and
absolute paths are not looked for, nor anything inside a fenced block.

Prints each name it cannot find ("docs/page.md:LINE: `name` names no file
of the tree") and exits 1; prints nothing and exits 0 when every name is found.

Usage: check-doc-paths.py [SOURCE_DIR]   (default: the checkout holding it)
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent
TOP = ("src", "apps", "bench", "docs", "scripts", "tests", "cmake")
SOURCE_EXTENSIONS = (".h", ".cpp", ".c", ".py", ".sh", ".cmake", ".md")


def tree(top):
    """Every file and folder under the top (build output, hidden ones and
    git's aside), as relative part tuples."""
    found = set()
    stack = [top]
    while stack:
        folder = stack.pop()
        for entry in folder.iterdir():
            rel = entry.relative_to(top)
            if entry.name.startswith(".") or (len(rel.parts) == 1 and entry.name.startswith("build")):
                continue
            found.add(rel.parts)
            if entry.is_dir() and not entry.is_symlink():
                stack.append(entry)
    return found


paths = tree(root)
folder_names = {p[-1] for p in paths if (root.joinpath(*p)).is_dir()}
by_last = {}
for p in paths:
    by_last.setdefault(p[-1], []).append(p)


def ends_with(path, parts):
    return len(path) >= len(parts) and path[len(path) - len(parts):] == parts


def found(name):
    """Whether the name (no braces) is a file or folder of the tree."""
    any_extension = name.endswith(".*")
    parts = tuple(x for x in name.rstrip("/").split("/") if x)
    if any_extension:
        parts = parts[:-1] + (parts[-1][:-2],)
    if not parts:
        return True
    if parts[0] == "build":
        return built(parts[1:])

    def matches(candidate_last):
        if any_extension:
            return [p for key, ps in by_last.items() if key.rsplit(".", 1)[0] == candidate_last for p in ps]
        return by_last.get(candidate_last, [])

    for p in matches(parts[-1]):
        head = p[: len(p) - 1]
        if ends_with(head, parts[:-1]):
            return True
    return False


def built(parts):
    """A name under build/: its folder in the sources, and a program there a
    source or a target of its name."""
    if not parts:
        return True
    if tuple(parts) in paths:
        return True
    folder = root.joinpath(*parts[:-1])
    if tuple(parts[:-1]) not in paths and parts[:-1]:
        return False
    name = parts[-1]
    if (folder / (name + ".cpp")).is_file():
        return True
    lists = folder / "CMakeLists.txt"
    return lists.is_file() and re.search(r"\b%s\b" % re.escape(name), lists.read_text()) is not None


def expand(name):
    match = re.search(r"\{([^{}]*)\}", name)
    if not match:
        return [name]
    return [e for choice in match.group(1).split(",") for e in expand(name[: match.start()] + choice + name[match.end():])]


def stands_for_others(name):
    if any(mark in name for mark in ("<", ">", "$", "XXXX", "...", "\u2026", "%", "=", "|", "[", "]", '"', "'", "~", "(", ")")):
        return True
    if "*" in name and not name.endswith(".*"):
        return True
    stem = name.rstrip("/").rsplit("/", 1)[-1].split(".", 1)[0]
    return len(stem) <= 1


def names_a_file(name, in_backticks):
    if name.startswith("/") or stands_for_others(name):
        return False
    first = name.split("/", 1)[0]
    if first in TOP or first == "build":
        return "/" in name
    if not in_backticks:
        return False
    if "/" in name:
        return first in folder_names
    return name.endswith(SOURCE_EXTENSIONS) or name.endswith(".*")


def words(text):
    for word in text.split():
        word = word.strip(",;:.()")
        if word:
            yield word


offences = []
pages = sorted((root / "docs").glob("*.md")) + [root / "README.md"]
for page in pages:
    if not page.is_file():
        continue
    fenced = False
    for number, line in enumerate(page.read_text().splitlines(), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            continue
        pieces = line.split("`")
        for index, piece in enumerate(pieces):
            in_backticks = index % 2 == 1 and index < len(pieces) - 1
            for word in words(piece):
                if not names_a_file(word, in_backticks):
                    continue
                if all(found(each) for each in expand(word)):
                    continue
                shown = f"`{word}`" if in_backticks else word
                offences.append(f"{page.relative_to(root)}:{number}: {shown} names no file of the tree")

for offence in offences:
    print(offence)
sys.exit(1 if offences else 0)
