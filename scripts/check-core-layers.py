#!/usr/bin/env python3
"""Checks that no include of the crash-report core or of its sending climbs
from a lower room to a higher one.

The core's rooms are the folders under src/crashreport/core, the sending's
the folders under src/crashreport/send (context, mail, web) and the send
folder itself (the send step above them). What each room may use is what its
CMakeLists.txt links (the cv_crash_<room> or cv_crashsend_<room> libraries
named in its cv_library DEPS), followed through. Every
#include "crashreport/core/<room>/..." or "crashreport/send/..." in a room's
sources must name the room itself or one it may use; the core includes
nothing of the sending, and neither includes the dialogs. A header that sits
directly in src/crashreport/core, or a cycle among the rooms, is an error
too; so is a mail room and a web room that are missing or use each other. Prints each offence and exits 1; prints nothing and exits 0 when the
layout holds.

Usage: check-core-layers.py [SOURCE_DIR]   (default: the checkout holding it)
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent
crashreport = root / "src" / "crashreport"
offences = []


class House:
    """A folder of rooms: `prefix` + room is each room's library; `top`, when
    given, is the library of the folder's own files (a room named ".")."""

    def __init__(self, folder, prefix, top=None):
        self.name = folder
        self.path = crashreport / folder
        self.prefix = prefix
        self.top = top
        self.rooms = sorted(p.name for p in self.path.iterdir() if (p / "CMakeLists.txt").is_file())
        if top:
            self.rooms.append(".")
        self.direct = {room: self.links(room) for room in self.rooms}
        for room in self.rooms:
            for used in self.direct[room] - set(self.rooms):
                offences.append(f"{self.name}/{self.label(room)}CMakeLists.txt: links {self.library(used)}, which is no room")
        self.allowed = {room: self.reachable(room) | {room} for room in self.rooms}

    def library(self, room):
        return self.top if room == "." else self.prefix + room

    def label(self, room):
        return "" if room == "." else room + "/"

    def links(self, room):
        text = (self.path / room / "CMakeLists.txt").read_text()
        call = re.search(r"cv_library\(\s*(\w+)(.*?)\)", text, re.S)
        deps = call.group(2) if call else ""
        used = set(re.findall(r"\b" + re.escape(self.prefix) + r"(\w+)", deps))
        if self.top and re.search(r"\b" + re.escape(self.top) + r"\b", deps):
            used.add(".")
        return used

    def reachable(self, room, path=()):
        if room in path:
            offences.append(f"{self.name}: rooms in a cycle: " + " -> ".join(path[path.index(room):] + (room,)))
            return set()
        seen = set()
        for used in self.direct.get(room, ()):
            seen |= {used} | self.reachable(used, path + (room,))
        return seen

    def room_of(self, relative_parts):
        """The room of a path below the house (its parts), None when it sits in none."""
        if len(relative_parts) >= 2 and relative_parts[0] in self.rooms:
            return relative_parts[0]
        return "." if self.top else None

    def check_include(self, relative, room, target):
        """`target`: the include's path below this house."""
        target_room = self.room_of(tuple(target.split("/")))
        if target_room not in self.allowed.get(room, ()):
            offences.append(f"{relative}: includes crashreport/{self.name}/{target}, above or beside room "
                            f"{self.name}/{self.label(room).rstrip('/') or '.'}")


core = House("core", "cv_crash_")
send = House("send", "cv_crashsend_", top="cv_crashsend")

# The two transports stand beside each other: neither may use the other,
# whatever their CMake lists say, and the send step uses both.
for house, pair, above in ((send, ("mail", "web"), "."),):
    for room in pair:
        if room not in house.rooms:
            offences.append(f"{house.name}/{room}/: the room is missing")
    if all(room in house.rooms for room in pair):
        first, second = pair
        if second in house.allowed[first] or first in house.allowed[second]:
            offences.append(f"{house.name}: rooms {first} and {second} must stand beside each other, neither using the other")
        if above in house.rooms and not set(pair) <= house.allowed[above]:
            offences.append(f"{house.name}/{house.label(above)}CMakeLists.txt: the send step must use both {first} and {second}")

include = re.compile(r'^\s*#\s*include\s+"crashreport/([^"]+)"', re.M)
for house in (core, send):
    for path in sorted(house.path.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        relative = path.relative_to(crashreport)
        room = house.room_of(path.relative_to(house.path).parts)
        if room is None:
            offences.append(f"{relative}: sits in no room")
            continue
        for target in include.findall(path.read_text(errors="replace")):
            folder, _, rest = target.partition("/")
            if folder == house.name:
                house.check_include(relative, room, rest)
            elif folder == "core" and house is send:
                continue  # the whole core lies below the sending
            else:
                offences.append(f"{relative}: includes crashreport/{target}, above the {house.name}")

for offence in offences:
    print(offence)
sys.exit(1 if offences else 0)
