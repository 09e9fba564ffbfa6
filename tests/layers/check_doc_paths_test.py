#!/usr/bin/env python3
"""The docs' file check finds what it is for: a small house whose page and
README name its files in every form the pages use (from the top, from
src/, the end of a path, a bare name, "name.*", "{a,b}", a program under
build/, a name in the text), built sound, then given one name at a time
that the tree does not hold; and the names that only stand for others
(placeholders, absolute paths, ini keys, fenced blocks) are never looked for."""
import sys

sys.dont_write_bytecode = True  # nothing written beside the sources
from scratch_house import CheckRuns, write  # noqa: E402

PAGE = """# A page

The document is `src/low/doc.h` (`low/doc.cpp`, `doc_file.cpp`), its parts
`low/doc.*` and `low/{doc,doc_file}.cpp`; run `build/bench/doc_bench` or
`build/apps/tool/corvantis-tool`, see `docs/other.md` and `scripts/check.py`.
The folder `src/low/` and the room `low/` hold it; src/low/doc.cpp says so.
Placeholders stay: `x.h`, `<name>.lst`, `$HOME/file.txt`, `/proc/self/maps`,
key `form/geometry`, `name_*.cpp`, `crashbox-XXXXXX/report.txt`.

```
src/low/not_here.h in a fenced block is an example
```
"""
README = "# The house\n\nStart at `docs/page.md`.\n"


def house(root):
    files = {
        "src/low/doc.h": "#pragma once\n",
        "src/low/doc.cpp": "",
        "src/low/doc_file.cpp": "",
        "src/high/user.cpp": "",
        "bench/doc_bench.cpp": "",
        "bench/CMakeLists.txt": "# one program per source\n",
        "apps/tool/CMakeLists.txt": "add_executable(corvantis-tool main.cpp)\n",
        "apps/tool/main.cpp": "",
        "scripts/check.py": "",
        "docs/other.md": "# Other\n",
        "docs/page.md": PAGE,
        "README.md": README,
        "build/bench/not_a_source.h": "",
    }
    for name, text in files.items():
        write(root, name, text)


def page_saying(old, new):
    return lambda r: write(r, "docs/page.md", PAGE.replace(old, new, 1))


runs = CheckRuns(sys.argv[1], house)
runs.expect("sound", None, None)

# The page changed one name at a time: what it says, what it says instead,
# and the offence wanted.
PAGE_CHANGES = [
    ("a path from the top that moved", "`src/low/doc.h`", "`src/high/doc.h`",
     "docs/page.md:3: `src/high/doc.h` names no file of the tree"),
    ("the end of a path under another folder", "`low/doc.cpp`", "`high/doc.cpp`", "`high/doc.cpp` names no file"),
    ("a bare name that is gone", "`doc_file.cpp`", "`doc_parts.cpp`", "`doc_parts.cpp` names no file"),
    ("a name of any extension with no such file", "`low/doc.*`", "`low/document.*`", "`low/document.*` names no file"),
    ("one name of a brace list that is gone", "{doc,doc_file}", "{doc,doc_menu}", "`low/{doc,doc_menu}.cpp` names no file"),
    ("a benchmark under build/ with no source", "build/bench/doc_bench", "build/bench/gone_bench",
     "`build/bench/gone_bench` names no file"),
    ("a program under build/ that no list makes", "corvantis-tool`", "corvantis-gone`",
     "`build/apps/tool/corvantis-gone` names no file"),
    ("a folder of the tree named wrongly", "`src/low/`", "`src/lower/`", "`src/lower/` names no file"),
    ("a path in the text", "src/low/doc.cpp says", "src/low/docs.cpp says", "docs/page.md:6: src/low/docs.cpp names no file"),
    ("build output is not the tree", "`doc_file.cpp`", "`not_a_source.h`", "`not_a_source.h` names no file"),
]
for name, old, new, wanted in PAGE_CHANGES:
    runs.expect(name, page_saying(old, new), wanted)

runs.expect("a page that is gone", lambda r: (r / "docs/other.md").unlink(), "`docs/other.md` names no file")
runs.expect("the README too", lambda r: write(r, "README.md", README.replace("page.md", "pages.md")),
            "README.md:3: `docs/pages.md` names no file")

runs.finish()
