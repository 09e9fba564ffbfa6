#!/usr/bin/env python3
"""The layer check finds what it is for: a small house of three rooms, built
sound, then broken one way at a time (a library linking upwards, an include
climbing, a file in no library, a subfolder including a later one)."""
import pathlib
import subprocess
import sys
import tempfile

script = pathlib.Path(sys.argv[1])


def write(root, name, text):
    path = root / name
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)


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


def offences(root):
    run = subprocess.run([sys.executable, str(script), str(root)], capture_output=True, text=True)
    lines = [l for l in run.stdout.splitlines() if "LEFT_BEHIND" not in l]
    return run, lines


failures = []


def expect(name, change, wanted):
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        house(root)
        if change:
            change(root)
        run, lines = offences(root)
        if run.stderr:
            failures.append(f"{name}: the check failed: {run.stderr}")
        found = [l for l in lines if wanted and wanted in l]
        if wanted and (run.returncode != 1 or len(found) != 1 or len(lines) != 1):
            failures.append(f"{name}: wanted one offence with '{wanted}', got {lines}")
        if not wanted and lines:
            failures.append(f"{name}: wanted none, got {lines}")


expect("sound", None, None)
expect("link upwards", lambda r: write(r, "src/mid/CMakeLists.txt", "cv_library(cv_mid DEPS cv_low cv_high)\n"),
       "cv_mid links cv_high, which stands on a floor above it")
expect("include climbs", lambda r: write(r, "src/low/a.h", '#pragma once\n#include "mid/m.h"\n'),
       "low/a.h: includes mid/m.h (src/mid), which room low does not link")
expect("file in no library", lambda r: write(r, "src/high/third/t.h", "#pragma once\n"),
       "src/high/third/t.h: sits in no library")
expect("subfolder includes a later one", lambda r: write(r, "src/high/first/f.h", '#include "high/second/s.h"\n'),
       "includes high/second/s.h, in high/second, which stands after high/first")

for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
