#!/usr/bin/env python3
"""Checks that every menu command is named once: its number is written in
one table, src/suite/menu_commands.h (`TMenuCommand`, and `TMenuHeader` for
the tags of menus and submenu headers), and everywhere else it is written
by its name. The table itself gives each number one name.

A command number written elsewhere is one of these (comments and string
texts are not looked at, nor numbers that are no command, nor 0 and -1):
  1. a kTag... constant given a number, or given a command's name (a second
     name for it);
  2. `case N:` in a switch on a tag or command (`switch (tag)`,
     `switch (TMenuCommand(tag))`);
  3. a number passed where a command is taken: as the argument of an
     operation declared with a command there (`int tag`, `int menuTag`,
     `int command` or a TMenuCommand: the settings buffer's menu states and
     shortcuts, the grid's and the window's command handlers, the tests'
     helpers); a header's declaration counts everywhere, a source's only in
     that source;
  4. a tag compared with, or counted from, a number (`tag == 53`,
     `MenuTag(item) != -999`, `tag - 176`, `tag >= 105`; against 0 and 1 a
     comparison is a bound, not a command), also in a test's EXPECT_EQ, and
     a set of tags asked about a number (`set.test(96)`);
  5. a list of numbers that a tag runs over or that names tags or commands
     (`for (int tag : {80, 81})`, `kOtherSortTags[] = {96, ...}`);
  6. a number made a command (`TMenuCommand(170)`), or a grid's command
     message made from one (`kGridCommandBase + 170`).
The crash-report component has no menus; its folders are not read.

Prints each offence with its file and line and exits 1; prints nothing and
exits 0 when every number stands in the table alone.

Usage: check-command-numbers.py [SOURCE_DIR]   (default: the checkout holding it)
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent
TABLE = "src/suite/menu_commands.h"
FOLDERS = ("src", "apps", "bench", "tests")
SKIPPED = ("src/crashreport/", "tests/crashreport/")
SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}

# Operations that take a command, and which argument it is ("*": any), beside
# those found by their parameters (COMMAND_PARAMETER).
TAKES_A_COMMAND = {"TagOf": {0}, "Tags": {"*"}}
# A parameter that is a command: an int named so, or the table's type.
COMMAND_PARAMETER = re.compile(
    r"^\s*(?:const\s+)?(?:int|int32_t)\s+(?:tag|menuTag|command)\s*(?:=.*)?$|\bTMenuCommand\b")

NUMBER = r"-?\b\d+\b(?![.xX])"
# A tag: a variable or field named so, or what an operation gives a tag by.
TAG = r"(?:\b(?:\w+::)*\w*[tT]ag\b(?!\s*\()|\b(?:\w+::)*(?:MenuTag|TagOf|TagAt|TagIndexOfACaption)\s*\([^()]*\))"
offences = []


def blank(text):
    """The text with comments, string and character literals blanked, lines kept."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == 'R' and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            delim = text[i + 2:text.find("(", i + 2)]
            j = text.find(")" + delim + '"', i)
            j = n if j < 0 else j + len(delim) + 2
            out.append('R"' + re.sub(r"[^\n]", " ", text[i + 2:j - 1]) + '"')
            i = j
        elif c == "'" and 0 < i < n - 1 and text[i - 1].isalnum() and text[i + 1].isalnum():
            out.append(c)  # a digit separator (0x0002'11F9)
            i += 1
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            closed = j < n and text[j] == c
            out.append(c + " " * (min(j, n) - i - 1) + (c if closed else ""))
            i = j + 1 if closed else j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def line_of(text, pos):
    return text.count("\n", 0, pos) + 1


def arguments(text, open_paren):
    """The top-level arguments of the call whose "(" stands at open_paren, with their offsets."""
    depth, start, args = 0, open_paren + 1, []
    for i in range(open_paren, len(text)):
        c = text[i]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                args.append((text[start:i], start))
                return args
        elif c == "," and depth == 1:
            args.append((text[start:i], start))
            start = i + 1
    return args


def block_after(text, pos):
    """The offsets of the braced block that begins at or after pos."""
    start = text.find("{", pos)
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "{":
            depth += 1
        elif text[i] == "}":
            depth -= 1
            if depth == 0:
                return start, i
    return start, len(text)


def read_table():
    """Checks that the table gives each number one name; returns its numbers."""
    numbers = set()
    path = root / TABLE
    if not path.is_file():
        offences.append(f"{TABLE}: the table of menu commands is missing")
        return numbers
    text = blank(path.read_text(errors="replace"))
    for enum in re.finditer(r"enum\s+class\s+(\w+)\s*:\s*\w+\s*\{", text):
        start, end = block_after(text, enum.start())
        names = {}
        for entry in re.finditer(r"(\w+)\s*=\s*(" + NUMBER + r")\s*,", text[start:end]):
            name, value = entry.group(1), int(entry.group(2))
            where = f"{TABLE}:{line_of(text, start + entry.start())}"
            if value in names:
                offences.append(f"{where}: {enum.group(1)}::{name} is {value}, which {names[value]} is already")
            names[value] = name
            numbers.add(value)
    # 0 and -1 are also "no command" and "no tag" of every list and bound.
    return numbers - {0, -1}


def takers(text):
    """The operations a text declares with a command among their parameters: name -> argument indexes."""
    found = {}
    for m in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", text):
        if m.group(1) in ("if", "while", "for", "switch", "return", "sizeof", "decltype"):
            continue
        for index, (parameter, _) in enumerate(arguments(text, m.end() - 1)):
            if COMMAND_PARAMETER.search(parameter) and re.search(r"\w\s+\w+\s*(?:=.*)?$", parameter.strip()):
                found.setdefault(m.group(1), set()).add(index)
    return found


def check_file(text, shown, taking):
    """The offences of one text; `taking`: the operations that take a command there."""

    def offence(pos, what):
        offences.append(f"{shown}:{line_of(text, pos)}: {what}")

    def command(number):
        return int(number) in commands

    # 1. kTag constants: a second name of a command.
    for m in re.finditer(r"\b(kTag[A-Z]\w*)\s*=(?!=)\s*(" + NUMBER + r"|[^;,}]*\bTMenuCommand\b)", text):
        if not re.fullmatch(NUMBER, m.group(2)) or command(m.group(2)):
            offence(m.start(), f"{m.group(1)}: a second name of a menu command (write TMenuCommand::<name>)")

    # 2. case N: in a switch on a tag or a command.
    for m in re.finditer(r"\bswitch\s*\(", text):
        condition = arguments(text, m.end() - 1)
        if not condition or not re.fullmatch(r"\s*(?:TMenuCommand\s*\(\s*)?" + TAG + r"\s*\)?\s*|\s*\w*[cC]ommand\s*",
                                             condition[0][0]):
            continue
        start, end = block_after(text, m.end())
        body = text[start + 1:end]
        # A switch inside is on something else: left out.
        for inner in re.finditer(r"\bswitch\s*\(", body):
            s, e = block_after(body, inner.end())
            body = body[:s] + re.sub(r"[^\n]", " ", body[s:e + 1]) + body[e + 1:]
        for case in re.finditer(r"\bcase\s+(" + NUMBER + r")\s*:", body):
            if command(case.group(1)):
                offence(start + 1 + case.start(), f"case {case.group(1)}: a command by its number "
                                                  f"(write case TMenuCommand::<name>:)")

    # 3. Numbers passed where a command is taken.
    for m in re.finditer(r"\b(" + "|".join(sorted(taking)) + r")\s*\(", text):
        which = taking[m.group(1)]
        for index, (arg, at) in enumerate(arguments(text, m.end() - 1)):
            if "*" not in which and index not in which:
                continue
            numbers = re.finditer(NUMBER, arg) if m.group(1) == "Tags" else \
                [re.search(NUMBER, arg)] if re.fullmatch(r"\s*" + NUMBER + r"\s*", arg) else []
            for number in numbers:
                if command(number.group(0)):
                    offence(at + number.start(), f"{m.group(1)} is given command {number.group(0)} by its number")

    # 4. Tags compared with or counted from numbers (0 and 1 as bounds and steps are no commands).
    for m in re.finditer(TAG + r"\s*(==|!=|<=|>=|<|>|-|\+)\s*(" + NUMBER + r")", text):
        op, number = m.group(1), int(m.group(2))
        if m.group(0).startswith("TagOf") and op in ("-", "+"):
            continue  # counted from a command by its name
        if command(number) and (op in ("==", "!=") or number not in (0, 1)):
            offence(m.start(), f"a tag {op} {number}: a command by its number")
    for m in re.finditer(r"(" + NUMBER + r")\s*(==|!=)\s*" + TAG, text):
        if command(m.group(1)):
            offence(m.start(), f"{m.group(1)} {m.group(2)} a tag: a command by its number")
    for m in re.finditer(r"\b(?:EXPECT|ASSERT)_(?:EQ|NE)\s*\(", text):
        args = arguments(text, m.end() - 1)
        if len(args) == 2 and any(re.fullmatch(r"\s*" + TAG + r"\s*", a) for a, _ in args):
            for arg, at in args:
                if re.fullmatch(r"\s*" + NUMBER + r"\s*", arg) and command(arg):
                    offence(at, f"a tag expected to be {arg.strip()}: a command by its number")

    # ... and a set of tags asked about a number by it.
    for m in re.finditer(r"\.\s*(?:test|set|reset)\s*\(\s*(?:size_t\s*\(\s*)?(" + NUMBER + r")\s*\)", text):
        if command(m.group(1)):
            offence(m.start(), f"a set of tags asked about command {m.group(1)} by its number")

    # 5. Lists of numbers that tags run over or that name tags or commands.
    for m in re.finditer(r"\bfor\s*\(\s*(?:const\s+)?\w+\s*&?\s*\w*[tT]ag\w*\s*:\s*\{([^}]*)\}", text):
        if any(command(n) for n in re.findall(NUMBER, m.group(1))):
            offence(m.start(), "a tag runs over commands by their numbers")
    for m in re.finditer(r"\b\w*(?:Tags|Commands)\s*(?:\[[^\]]*\])?\s*(?:=\s*)?\{([^{}]*)\}", text):
        if any(command(n) for n in re.findall(NUMBER, m.group(1))):
            offence(m.start(), "a list of commands by their numbers")

    # 6. A number made a command, or a grid's command message.
    for m in re.finditer(r"\b(?:TMenuCommand\s*\(|static_cast\s*<\s*TMenuCommand\s*>\s*\()\s*(" + NUMBER + r")\s*\)",
                         text):
        if command(m.group(1)):
            offence(m.start(), f"command {m.group(1)} made from its number")
    for m in re.finditer(r"\b(?:kGridCommandBase|5000)\s*\+\s*(" + NUMBER + r")", text):
        if command(m.group(1)):
            offence(m.start(), f"a grid's command message made from command {m.group(1)}'s number")


commands = read_table()
texts = {}
for folder in FOLDERS:
    for path in sorted((root / folder).rglob("*")):
        shown = path.relative_to(root).as_posix()
        if path.suffix in SUFFIXES and path.is_file() and shown != TABLE and not shown.startswith(SKIPPED):
            texts[shown] = blank(path.read_text(errors="replace"))


def merged(*tables):
    whole = {}
    for table in tables:
        for name, indexes in table.items():
            whole.setdefault(name, set()).update(indexes)
    return whole


# A header's operations are taken everywhere, a source's own in itself.
learned = {shown: takers(text) for shown, text in texts.items()}
shared = merged(TAKES_A_COMMAND, *(t for shown, t in learned.items() if not shown.endswith((".cpp", ".cc"))))
for shown, text in texts.items():
    check_file(text, shown, merged(shared, learned[shown]))

for offence in offences:
    print(offence)
sys.exit(1 if offences else 0)
