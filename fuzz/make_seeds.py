#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: small files of each kind, built byte
by byte. Usage: make_seeds.py OUT_DIR. Creates OUT_DIR/palette and OUT_DIR/animation;
each target takes the seeds of the kind its name starts with."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))  # the tests' file builders

from tests.support.orv_bytes import Frame, animation_bytes, palette_bytes, ramp_palette  # noqa: E402


def ramp(n):
    return [tuple(v % 256 for v in color) for color in ramp_palette(n)]


PALETTES = {
    "full": palette_bytes(ramp(256)),
    "short": palette_bytes(ramp(16)),
    "one": palette_bytes([(10, 20, 30, 40)]),
    "bgra-model": palette_bytes(ramp(4), model=1),
    "truncated": palette_bytes(ramp(3), count=10),
    "count-zero": palette_bytes([]),
    "count-257": palette_bytes(ramp(257)),
    "trailing-bytes": palette_bytes(ramp(2)) + b"\xff" * 9,
}

SMALL = Frame(width=4, rows=[[(0, [1, 2, 3])], [(1, [4]), (1, [5])]])
SHADOW = Frame(width=6, rows=[[(1, 3)], [(0, 6)]], shadow=True)

ANIMATIONS = {
    "single": animation_bytes([SMALL], speed=100),
    "background": animation_bytes([SMALL, Frame(width=3, rows=[[(0, [7, 8, 9])]])], background=1),
    "background-flag-zero": animation_bytes([SMALL], background=0),
    # After the first shadow frame a normal frame keeps only the low 8 bits of its height.
    "shadow": animation_bytes([SMALL, SHADOW, Frame(width=2, rows=[[(0, [1, 1])]], height=0x0301)]),
    "clipped": animation_bytes([Frame(width=3, rows=[[(2, [1, 2, 3]), (0, [4])], [(5, [])]])]),
    "offsets": animation_bytes([Frame(width=2, rows=[[(0, [9])]], x_offset=-5, y_offset=7, unk1=7, unk2=9)]),
    "empty-rows": animation_bytes([Frame(width=5, rows=[[], [], [(4, [255])]])]),
    "zero-size": animation_bytes([Frame(width=0), Frame(width=9)]),
    "truncated": animation_bytes([SMALL, SMALL])[:-5],
    "no-location": animation_bytes([SMALL], location=""),
}


def main(out):
    for kind, files in (("palette", PALETTES), ("animation", ANIMATIONS)):
        directory = Path(out) / kind
        directory.mkdir(parents=True, exist_ok=True)
        for name, data in files.items():
            (directory / name).write_bytes(data)


if __name__ == "__main__":
    main(sys.argv[1])
