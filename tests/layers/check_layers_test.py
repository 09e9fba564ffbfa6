#!/usr/bin/env python3
"""The layer check finds what it is for: a small house of three rooms, built
sound, then broken one way at a time (a library linking upwards, an include
climbing, a file in no library, a subfolder including a later one)."""
import sys

sys.dont_write_bytecode = True  # nothing written beside the sources
from scratch_house import CheckRuns, write  # noqa: E402


def house(root):
    write(root, "CMakeLists.txt", "set(CV_FOLDERS\n  low\n  # a comment names no folder\n  mid\n  high\n)\n")
    write(root, "src/low/CMakeLists.txt", "cv_library(cv_low DEPS Qt6::Core)\n")
    write(root, "src/low/a.h", "#pragma once\n")
    write(root, "src/mid/CMakeLists.txt", "cv_library(cv_mid DEPS cv_low)\n")
    write(root, "src/mid/m.h", '#include "low/a.h"\n')
    write(root, "src/high/CMakeLists.txt",
          "cv_library(cv_high DEPS cv_mid)\n"
          "file(GLOB more ${CMAKE_CURRENT_SOURCE_DIR}/first/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/second/*.cpp)\n")
    write(root, "src/high/first/f.h", '#include "low/a.h"\n')
    write(root, "src/high/second/s.h", '#include "high/first/f.h"\n#include "mid/m.h"\n')


runs = CheckRuns(sys.argv[1], house, ignore=lambda line: "LEFT_BEHIND" in line)
expect = runs.expect

expect("sound", None, None)
expect("link upwards", lambda r: write(r, "src/mid/CMakeLists.txt", "cv_library(cv_mid DEPS cv_low cv_high)\n"),
       "cv_mid links cv_high, which stands on a floor above it")
expect("include climbs", lambda r: write(r, "src/low/a.h", '#pragma once\n#include "mid/m.h"\n'),
       "low/a.h: includes mid/m.h (src/mid), which room low does not link")
expect("file in no library", lambda r: write(r, "src/high/third/t.h", "#pragma once\n"),
       "src/high/third/t.h: sits in no library")
expect("subfolder includes a later one", lambda r: write(r, "src/high/first/f.h", '#include "high/second/s.h"\n'),
       "includes high/second/s.h, in high/second, which stands after high/first")

runs.finish()
