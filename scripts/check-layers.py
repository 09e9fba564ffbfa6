#!/usr/bin/env python3
"""Checks that the whole house stands in rooms: src/ one room per library,
the programs of apps/ on top, and nothing climbs.

Rooms and their order come from the CMake lists, never from a list kept
here: the folders of CV_FOLDERS in the top CMakeLists.txt, in that order,
and inside a folder's CMakeLists.txt its statements in order (an
add_subdirectory there makes that folder's rooms at that point, as
ui/framework makes grid_dialogs first). A new room is a folder with its
CMakeLists.txt, named in CV_FOLDERS (or by its parent's add_subdirectory)
after every room it uses; nothing in this script changes (the crash-report
sending's mail and web rooms go in CV_FOLDERS before crashreport/send).

What it checks:
  1. Floors: every library of ours (or alias of one) that a library links
     (cv_library DEPS, or target_link_libraries in the folder that made it)
     was made before it; a cv_... name made nowhere, or made twice, is an
     error too.
  2. Folder and library agree: every .h/.cpp under src/ sits in the room of
     the nearest folder above it whose CMakeLists.txt makes a library with
     sources; a subfolder without a list of its own belongs there only when
     that list names it (ui/wordlist/dialogs, ui/wordlist/views,
     crashreport/core/leaks/leak_operators); such subfolders stand in the
     order the list names them, and one never includes a later one (the
     word-list tool's set-up dialogs open its viewing windows, never the
     reverse). A folder with no such room
     above it, or one whose only library is an INTERFACE one
     (crashreport/core), holds no file.
  3. No include climbs: every #include "..." that names a file under src/
     names one of the file's own room or of a room its libraries link,
     followed through.
  4. The programs: an include in apps/<program>/ names a room the program
     links (followed through).
Then it runs check-core-layers.py, the crash-report core's own check.

Prints each offence and exits 1; prints nothing and exits 0 when the house
holds. With --rooms it prints the rooms in order with what each may use.

Usage: check-layers.py [--rooms] [SOURCE_DIR]   (default: the checkout holding it)
"""
import pathlib
import re
import subprocess
import sys

args = [a for a in sys.argv[1:] if a != "--rooms"]
list_rooms = "--rooms" in sys.argv[1:]
root = pathlib.Path(args[0]) if args else pathlib.Path(__file__).resolve().parent.parent
src = root / "src"

statement = re.compile(
    r"^\s*(cv_library|add_subdirectory|add_library|add_executable|target_link_libraries)\s*\((.*?)\)", re.M | re.S)
scopes = {"PUBLIC", "PRIVATE", "INTERFACE"}

made = {}        # library -> (position, room folder relative to src)
aliases = {}     # alias -> library
deps = {}        # library -> our names it links directly
interface = set()
rooms = []       # room folders (relative to src) in the order they are made
room_libraries = {}  # room -> libraries with sources
named_subfolders = {}  # room -> subfolders its list names
offences = []

# Headers left at a former place, each forwarding to its new one, for code
# that cannot change in the same step as a move. They sit in no room; delete
# a file and its line here once nothing includes the old path.
LEFT_BEHIND = set()


def cmake_text(listing):
    return re.sub(r"#.*", "", listing.read_text())


def read(folder):
    listing = src / folder / "CMakeLists.txt"
    if not listing.is_file():
        return
    text = cmake_text(listing)
    named = re.findall(r"(?:\$\{CMAKE_CURRENT_SOURCE_DIR\}/|\s)([\w.]+)/[\w*.]+", text)
    named_subfolders[folder] = list(dict.fromkeys(named))  # in the order the list names them
    for kind, words in ((k, a.split()) for k, a in statement.findall(text)):
        if kind == "add_subdirectory":
            read(f"{folder}/{words[0]}")
        elif kind == "add_library" and len(words) == 3 and words[1] == "ALIAS":
            aliases[words[0]] = words[2]
        elif kind in ("add_library", "cv_library"):
            name = words[0]
            if name in made:
                offences.append(f"src/{folder}/CMakeLists.txt: makes {name}, made already in src/{made[name][1]}")
            made[name] = (len(made), folder)
            deps[name] = words[words.index("DEPS") + 1:] if "DEPS" in words else []
            if kind == "add_library" and "INTERFACE" in words[1:2]:
                interface.add(name)
            else:
                if folder not in room_libraries:
                    rooms.append(folder)
                room_libraries.setdefault(folder, []).append(name)
        elif kind == "target_link_libraries" and words[0] in made and made[words[0]][1] == folder:
            deps[words[0]] += [w for w in words[1:] if w not in scopes]


top = cmake_text(root / "CMakeLists.txt")
for folder in re.search(r"set\(CV_FOLDERS(.*?)\)", top, re.S).group(1).split():
    read(folder)

# 1. Floors.
for name, (position, folder) in made.items():
    for used in deps[name]:
        target = aliases.get(used, used)
        if target in made:
            if made[target][0] >= position:
                offences.append(f"src/{folder}: {name} links {used}, which stands on a floor above it "
                                f"(src/{made[target][1]})")
        elif used.startswith("cv_"):
            offences.append(f"src/{folder}: {name} links {used}, which no folder makes")


def closure(libraries):
    seen, todo = set(), [aliases.get(l, l) for l in libraries]
    while todo:
        name = todo.pop()
        if name in made and name not in seen:
            seen.add(name)
            todo += [aliases.get(l, l) for l in deps[name]]
    return seen


def rooms_of(libraries):
    return {made[name][1] for name in closure(libraries) if name not in interface}


allowed = {room: rooms_of(room_libraries[room]) | {room} for room in rooms}


# 2. Folder and library agree.
def room_of(relative):
    """The room a file under src/ (path relative to src) belongs to, or None."""
    parts = relative.parent.parts
    for depth in range(len(parts), 0, -1):
        folder = "/".join(parts[:depth])
        if folder in room_libraries:
            below = parts[depth:depth + 1]
            if not below or below[0] in named_subfolders.get(folder, ()):
                return folder
            return None
        if (src / folder / "CMakeLists.txt").is_file():
            return None
    return None


include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def resolve(path, target):
    for base in (path.parent, src):
        candidate = (base / target).resolve()
        if candidate.is_file():
            try:
                return candidate.relative_to(src.resolve())
            except ValueError:
                return None
    return None


def subfolder(relative, room):
    """The subfolder of its room a file sits in (None: the room's own folder)."""
    parts = relative.parent.parts[len(room.split("/")):]
    return parts[0] if parts else None


def check_includes(path, shown, room, may_use, what):
    for target in include.findall(path.read_text(errors="replace")):
        found = resolve(path, target)
        if found is None:
            continue
        target_room = room_of(found)
        if target_room is not None and target_room not in may_use:
            offences.append(f"{shown}: includes {target} (src/{target_room}), which {what} does not link")
        elif room is not None and target_room == room:
            order = named_subfolders.get(room, [])
            own, other = subfolder(path.relative_to(src), room), subfolder(found, room)
            if own in order and other in order and order.index(other) > order.index(own):
                offences.append(f"{shown}: includes {target}, in {room}/{other}, which stands after {room}/{own}")


for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp", ".c"):
        continue
    relative = path.relative_to(src)
    room = room_of(relative)
    if relative.as_posix() in LEFT_BEHIND:
        continue
    if room is None:
        offences.append(f"src/{relative}: sits in no library (no CMakeLists.txt of its folder builds it)")
        continue
    # 3. No include climbs.
    check_includes(path, f"src/{relative}", room, allowed[room], f"room {room}")

# 4. The programs.
for listing in sorted((root / "apps").glob("*/CMakeLists.txt")):
    text = cmake_text(listing)
    links = []
    for kind, arguments in statement.findall(text):
        words = arguments.split()
        if kind == "target_link_libraries":
            links += [w for w in words[1:] if w not in scopes]
    may_use = rooms_of(links)
    for path in sorted(listing.parent.rglob("*")):
        if path.suffix in (".h", ".cpp", ".c"):
            check_includes(path, str(path.relative_to(root)), None, may_use, f"program {listing.parent.name}")

for name in sorted(LEFT_BEHIND):
    if not (src / name).is_file():
        offences.append(f"check-layers.py: src/{name} is gone; take it out of LEFT_BEHIND")

if list_rooms:
    for room in rooms:
        below = sorted(allowed[room] - {room}, key=rooms.index)
        print(f"{room:32} {' '.join(room_libraries[room]):40} uses: {' '.join(below) or '-'}")

core_check = root / "scripts" / "check-core-layers.py"
if core_check.is_file():
    core = subprocess.run([sys.executable, str(core_check), str(root)], capture_output=True, text=True)
    offences += [line for line in core.stdout.splitlines() if line]
    if core.returncode != 0 and not core.stdout.strip():
        offences.append(f"check-core-layers.py failed: {core.stderr.strip()}")

for offence in offences:
    print(offence)
sys.exit(1 if offences else 0)
