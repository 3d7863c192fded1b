#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: small files of each kind, built
byte by byte. Usage: make_seeds.py OUT_DIR (creates OUT_DIR/palette and
OUT_DIR/animation; the target animation_load, for one, takes the 'animation' seeds)."""

import struct
import sys
from pathlib import Path

SHADOW = 0x8000


def palette(count, records, model=0):
    return struct.pack("<HH", count, model) + b"".join(bytes(r) for r in records)


def ramp(n):
    return [(i % 256, 255 - i % 256, i // 2 % 256, 255) for i in range(n)]


PALETTES = {
    "full": palette(256, ramp(256)),
    "short": palette(16, ramp(16)),
    "one": palette(1, [(10, 20, 30, 40)]),
    "bgra-model": palette(4, ramp(4), model=1),
    "truncated": palette(10, ramp(3)),
    "count-zero": palette(0, []),
    "count-257": palette(257, ramp(257)),
    "trailing-bytes": palette(2, ramp(2)) + b"\xff" * 9,
}


def block(offset, colors):
    return struct.pack("<BB", offset, len(colors)) + bytes(colors)


def shadow_block(offset, count):
    return struct.pack("<BB", offset, count)


def row(*blocks):
    return struct.pack("<B", len(blocks)) + b"".join(blocks)


def frame(width, rows, height_word=None, shadow=False, x=0, y=0, unk=(0, 1)):
    word = len(rows) if height_word is None else height_word
    if shadow:
        word |= SHADOW
    head = struct.pack("<IHHhhBB", 0, word, width, y, x, *unk)
    return head + b"".join(rows)


def animation(frames, location=b"pal/a.pal", speed=100, background=None):
    head = b""
    if background is not None:
        head = b"FATZ" + struct.pack("<IB", 0, background)
    stored = len(frames) - (1 if background else 0)
    body = struct.pack("<II", speed, len(location) + 1) + location + b"\0"
    return head + body + struct.pack("<I", stored) + b"".join(frames)


SMALL = frame(4, [row(block(0, [1, 2, 3])), row(block(1, [4]), block(1, [5]))])
SHADOW_FRAME = frame(6, [row(shadow_block(1, 3)), row(shadow_block(0, 6))], shadow=True)

ANIMATIONS = {
    "single": animation([SMALL]),
    "background": animation([SMALL, frame(3, [row(block(0, [7, 8, 9]))])], background=1),
    "background-flag-zero": animation([SMALL], background=0),
    # A normal frame after the first shadow frame keeps only the low 8 bits of its height.
    "shadow": animation([SMALL, SHADOW_FRAME, frame(2, [row(block(0, [1, 1]))], height_word=0x0301)]),
    "clipped": animation([frame(3, [row(block(2, [1, 2, 3]), block(0, [4])), row(shadow_block(5, 0))])]),
    "offsets": animation([frame(2, [row(block(0, [9]))], x=-5, y=7, unk=(7, 9))]),
    "empty-rows": animation([frame(5, [row(), row(), row(block(4, [255]))])]),
    "zero-size": animation([frame(0, []), frame(9, [])]),
    "truncated": animation([SMALL, SMALL])[:-5],
    "no-location": animation([SMALL], location=b""),
}


def main(out):
    for kind, files in (("palette", PALETTES), ("animation", ANIMATIONS)):
        directory = Path(out) / kind
        directory.mkdir(parents=True, exist_ok=True)
        for name, data in files.items():
            (directory / name).write_bytes(data)


if __name__ == "__main__":
    main(sys.argv[1])
