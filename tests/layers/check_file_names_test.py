#!/usr/bin/env python3
"""The file-name check finds what it is for: a small house whose class has a
part in its own room, one in the room above and one in a source of another
header, whose header's procedures stand in a file of another name, and which
a source of another room calls, built sound, then broken one way at a time
(a program's main.cpp is no concern of the check)."""
import sys

sys.dont_write_bytecode = True  # nothing written beside the sources
from scratch_house import CheckRuns, write  # noqa: E402

HEADER = "#pragma once\nclass TForward;\nclass TDoc : public TBase {\n};\nvoid Tools();\n"
DOC_PART = '// Part of TDoc (low/doc.h), kept apart by topic.\n#include "low/doc.h"\n'
UPPER_PART = '// Part of TDoc (low/doc.h), above the room of the class.\n#include "low/doc.h"\n'
PROCEDURES = '// Part of low/doc.h: the tools.\n#include "low/doc.h"\n'
USER = '#include "high/user.h"\n#include "low/doc.h"\nvoid Use()\n{\n    TDoc::Count(1,\n                2);\n}\n'
MENU = ('// Also part of TDoc (low/doc.h): its menu.\n#include "low/menu.h"\n#include "low/doc.h"\n'
        "TMenu::TMenu() {}\nvoid TDoc::Menu()\n{\n}\nstd::vector<int> TDoc::Items(int) const { return {}; }\n")


def house(root):
    files = {
        "src/low/doc.h": HEADER,
        "src/low/doc.cpp": '#include "low/doc.h"\n',
        "src/low/doc_file.cpp": DOC_PART,
        "src/low/tools.cpp": PROCEDURES,
        "src/high/doc_high.cpp": UPPER_PART,
        "src/low/menu.h": "#pragma once\nstruct TMenu final {\n};\n",
        "src/low/menu.cpp": MENU,
        "src/high/user.h": "#pragma once\nvoid Use();\n",
        "src/high/user.cpp": USER,
        "apps/tool/main.cpp": "int main() {}\n",
    }
    for name, text in files.items():
        write(root, name, text)


runs = CheckRuns(sys.argv[1], house)
expect = runs.expect

expect("sound", None, None)
expect("no header and no first line", lambda r: write(r, "src/low/loose.cpp", '#include "low/doc.h"\n'),
       "src/low/loose.cpp: no loose.h beside it")
expect("the part's line below another comment",
       lambda r: write(r, "src/low/doc_file.cpp", "// The file.\n" + DOC_PART),
       "src/low/doc_file.cpp: no doc_file.h beside it")
expect("a header that is not there",
       lambda r: write(r, "src/low/doc_file.cpp", DOC_PART.replace("(low/doc.h)", "(low/document.h)")),
       "names low/document.h, which is no header under src/")
expect("a header it does not include",
       lambda r: write(r, "src/low/tools.cpp", "// Part of low/doc.h: the tools.\n"),
       "src/low/tools.cpp: its first line names low/doc.h, which it does not include")
expect("a class the header only declares ahead",
       lambda r: write(r, "src/high/doc_high.cpp", UPPER_PART.replace("TDoc", "TForward")),
       "names TForward, which low/doc.h does not declare")
expect("a class's members in another header's source, unsaid",
       lambda r: write(r, "src/low/menu.cpp", MENU.partition("\n")[2]),
       "src/low/menu.cpp: defines members of TDoc (low/doc.h), and its first line does not say so")
expect("a class's part whose name hides whose it is",
       lambda r: (r / "src/low/doc_file.cpp").rename(r / "src/low/file.cpp"),
       "src/low/file.cpp: holds part of TDoc, so its name begins with doc_")

runs.finish()
