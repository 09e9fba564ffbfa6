#!/usr/bin/env python3
"""The command-number check finds what it is for: a small house whose one
table names its commands and whose code uses only the names, built sound
(numbers that are no command, numbers in comments and texts, a switch on
something else, a source's own helper elsewhere), then given a command by
its number one way at a time."""
import sys

sys.dont_write_bytecode = True  # nothing written beside the sources
from scratch_house import CheckRuns, write  # noqa: E402

TABLE = """#pragma once
enum class TMenuCommand : int32_t {
    Untagged = 0,
    Save = 1,
    Find = 170,
    Zap = 11,
};
enum class TMenuHeader : int32_t {
    TopLevelMenu = -999,
    NoCommand = -1,
};
constexpr int TagOf(TMenuCommand command) { return static_cast<int>(command); }
"""
BUFFER = "#pragma once\nbool GetMenuItemChecked(int tag);\nvoid SetMenuItemChecked(int tag, bool checked);\n"
GRID = """#include "low/grid.h"
#include "suite/menu_commands.h"
// Find (170) is the search; "170" in a text is no command either.
bool TGrid::HandleGridCommand(int tag)
{
    switch (TMenuCommand(tag)) {
    case TMenuCommand::Find: return Search(QStringLiteral("170"));
    case TMenuCommand::Zap: return Zap(0x0002'11F9);
    default: return false;
    }
}
int TGrid::Rows(int listType)
{
    switch (listType) {
    case 11: return 170;
    default: return tag - 1;
    }
}
"""
USER = """#include "low/buffer.h"
#include "suite/menu_commands.h"
namespace {
bool Item(int tag) { return tag > 1; }
}
void Use(int tag)
{
    if (tag == TagOf(TMenuCommand::Find) || tag == 0 || tag == -1)
        SetMenuItemChecked(TagOf(TMenuCommand::Save), GetMenuItemChecked(999));
    Item(TagOf(TMenuCommand::Zap));
}
"""


def house(root):
    write(root, "src/suite/menu_commands.h", TABLE)
    write(root, "src/low/buffer.h", BUFFER)
    write(root, "src/low/grid.h", "#pragma once\nstruct TGrid { bool HandleGridCommand(int tag); };\n")
    write(root, "src/low/grid.cpp", GRID)
    write(root, "src/low/user.cpp", USER)
    write(root, "tests/low/other_test.cpp", "TEST(Other, Item) { EXPECT_TRUE(Other().Item(170)); }\n")


def replace(name, old, new):
    def change(root):
        path = root / name
        text = path.read_text()
        assert old in text, old
        path.write_text(text.replace(old, new))
    return change


runs = CheckRuns(sys.argv[1], house)
expect = runs.expect

expect("sound", None, None)
expect("one number, two names",
       replace("src/suite/menu_commands.h", "    Zap = 11,", "    Zap = 11,\n    Search = 170,"),
       "src/suite/menu_commands.h:7: TMenuCommand::Search is 170, which Find is already")
expect("a kTag constant", lambda r: write(r, "src/low/tags.h", "#pragma once\nconstexpr int kTagFind = 170;\n"),
       "src/low/tags.h:2: kTagFind: a second name")
expect("a case by number", replace("src/low/grid.cpp", "case TMenuCommand::Zap:", "case 11:"),
       "src/low/grid.cpp:8: case 11:")
expect("a number passed where a command is taken",
       replace("src/low/user.cpp", "GetMenuItemChecked(999)", "GetMenuItemChecked(170)"),
       "src/low/user.cpp:9: GetMenuItemChecked is given command 170")
expect("a tag compared with a number", replace("src/low/user.cpp", "tag == TagOf(TMenuCommand::Find)", "tag == 170"),
       "src/low/user.cpp:8: a tag == 170")
expect("a test expecting a tag",
       lambda r: write(r, "tests/low/tag_test.cpp", "TEST(T, U) { EXPECT_EQ(cv::MenuTag(item), -999); }\n"),
       "tests/low/tag_test.cpp:1: a tag expected to be -999")
ITEM = "    Item(TagOf(TMenuCommand::Zap));"
expect("tags running over numbers",
       replace("src/low/user.cpp", ITEM, "    for (int tag : {1, 11})\n        Item(tag);"),
       "src/low/user.cpp:10: a tag runs over commands")
expect("a list of commands", lambda r: write(r, "src/low/list.cpp", "constexpr int kRightClickTags[] = {11, 170};\n"),
       "src/low/list.cpp:1: a list of commands")
expect("a set asked about a number", replace("src/low/user.cpp", ITEM, "    Item(Set().test(11));"),
       "src/low/user.cpp:10: a set of tags asked about command 11")
expect("a grid's message from a number",
       replace("src/low/user.cpp", ITEM, "    Post(kMsgGridCommand, kGridCommandBase + 170);"),
       "src/low/user.cpp:10: a grid's command message made from command 170")
expect("a number made a command", replace("src/low/user.cpp", ITEM, "    Item(TagOf(TMenuCommand(11)));"),
       "src/low/user.cpp:10: command 11 made from its number")

runs.finish()
