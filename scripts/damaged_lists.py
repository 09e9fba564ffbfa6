#!/usr/bin/env python3
"""Makes damaged copies of saved word lists (".lst"), for opening them in the
tool as a user might: cut short, bytes changed, counts and lengths made huge.

    damaged_lists.py OUT_FOLDER SEED PER_FILE LIST.lst...

Each given list yields PER_FILE damaged copies in OUT_FOLDER, named after the
list, the kind of damage and a number. Half of the copies that still end in
their check block get a check that matches their new contents, so that the
reader goes past the check into the damaged blocks instead of refusing the
file at once. The same seed gives the same copies.
"""
import os
import random
import struct
import sys
import zlib

CRC_BLOCK = b'CRC \x04\x00\x00\x00'
HUGE = [0x7FFFFFFF, 0xFFFFFFFF, 0x80000000, 0x40000000, 0x10000000, 0x01000000, 0xFFFFFFFE, 1 << 20]


def fix_check(data):
    """The check block recomputed over what precedes it (when there is one)."""
    at = data.rfind(CRC_BLOCK)
    if at < 0 or at + len(CRC_BLOCK) + 4 > len(data):
        return data
    crc = zlib.crc32(bytes(data[:at])) & 0xFFFFFFFF
    return data[:at + len(CRC_BLOCK)] + struct.pack('<I', crc) + data[at + len(CRC_BLOCK) + 4:]


def block_fields(data):
    """Offsets of the 4-byte lengths of the named blocks after the envelope,
    and of the counts that follow the list streams' and blocks' magic."""
    fields = []
    for magic in (b'TSET', b'WSET', b'COLR', b'NOTE', b'WORD', b'IWRD', b'STAT', b'KEYW', b'CONS', b'RELS',
                  b'CVLS', b'CVWL', b'CVKW', b'CRC ', b'END '):
        start = 0
        while True:
            at = data.find(magic, start)
            if at < 0:
                break
            fields.append(at + 4)
            start = at + 1
    return [f for f in fields if f + 4 <= len(data)]


def small_ints(data):
    """Offsets of 4-byte values that look like counts or lengths (1..100000)."""
    out = []
    for at in range(57, len(data) - 4):
        v = struct.unpack_from('<I', data, at)[0]
        if 1 <= v <= 100000:
            out.append(at)
    return out


def damage(data, rng, kind, counts):
    d = bytearray(data)
    if kind == 'cut':
        return d[:rng.randrange(0, len(d))]
    if kind == 'flip':
        for _ in range(rng.choice((1, 1, 2, 3, 8))):
            at = rng.randrange(0, len(d))
            d[at] = rng.randrange(256) if rng.random() < 0.5 else d[at] ^ (1 << rng.randrange(8))
        return d
    if kind == 'block':
        at = rng.choice(block_fields(d) or [57])
    else:
        at = rng.choice(counts or [57])
    struct.pack_into('<I', d, min(at, len(d) - 4), rng.choice(HUGE + [rng.randrange(1 << 32)]))
    return d


def main():
    out, seed, per_file, lists = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
    os.makedirs(out, exist_ok=True)
    rng = random.Random(seed)
    made = 0
    for name in lists:
        data = open(name, 'rb').read()
        counts = small_ints(data)
        stem = os.path.splitext(os.path.basename(name))[0]
        for n in range(per_file):
            kind = rng.choice(('cut', 'flip', 'flip', 'count', 'count', 'block'))
            d = damage(data, rng, kind, counts)
            checked = kind != 'cut' and rng.random() < 0.5
            if checked:
                d = fix_check(d)
            with open(os.path.join(out, '%s_%s%s_%04d.lst' % (stem, kind, '_checked' if checked else '', n)), 'wb') as f:
                f.write(d)
            made += 1
    print(made, 'damaged lists in', out)


if __name__ == '__main__':
    main()
