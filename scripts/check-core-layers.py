#!/usr/bin/env python3
"""Checks that no include of the crash-report core climbs from a lower room to
a higher one.

The rooms are the folders under src/crashreport/core; what each may use is
what its CMakeLists.txt links (the cv_crash_<room> libraries named in its
cv_library DEPS), followed through. Every #include "crashreport/core/<room>/..."
in a room's sources must name the room itself or one it may use; a header
that sits directly in src/crashreport/core, or a cycle among the rooms, is
an error too. Prints each offence and exits 1; prints nothing and exits 0
when the layout holds.

Usage: check-core-layers.py [SOURCE_DIR]   (default: the checkout holding it)
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent
core = root / "src" / "crashreport" / "core"
rooms = sorted(p.name for p in core.iterdir() if (p / "CMakeLists.txt").is_file())

direct = {}
for room in rooms:
    text = (core / room / "CMakeLists.txt").read_text()
    call = re.search(r"cv_library\(\s*cv_crash_\w+(.*?)\)", text, re.S)
    direct[room] = set(re.findall(r"\bcv_crash_(\w+)", call.group(1) if call else ""))

offences = []
for room in rooms:
    for used in direct[room] - set(rooms):
        offences.append(f"{room}/CMakeLists.txt: links cv_crash_{used}, which is no room")


def reachable(room, path=()):
    if room in path:
        offences.append("rooms in a cycle: " + " -> ".join(path[path.index(room):] + (room,)))
        return set()
    seen = set()
    for used in direct.get(room, ()):
        seen |= {used} | reachable(used, path + (room,))
    return seen


allowed = {room: reachable(room) | {room} for room in rooms}

include = re.compile(r'^\s*#\s*include\s+"crashreport/core/([^"]+)"', re.M)
for path in sorted(core.rglob("*")):
    if path.suffix not in (".h", ".cpp"):
        continue
    relative = path.relative_to(core)
    if len(relative.parts) < 2:
        offences.append(f"{relative}: sits in no room")
        continue
    room = relative.parts[0]
    for target in include.findall(path.read_text(errors="replace")):
        target_room = target.split("/")[0] if "/" in target else None
        if target_room not in allowed.get(room, ()):
            offences.append(f"{relative}: includes crashreport/core/{target}, above or beside room {room}")

for offence in offences:
    print(offence)
sys.exit(1 if offences else 0)
