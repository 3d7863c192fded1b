"""Animation and palette files built byte by byte, for tests, benchmarks and samples.

Kept free of ravir itself, so that what it writes checks the reader independently.
"""

from __future__ import annotations

import struct
from dataclasses import dataclass, field

SHADOW_BIT = 0x8000


@dataclass
class Frame:
    """One frame record. A row is a list of runs: (offset, [palette indices]) in a
    normal frame, (offset, pixel count) in a shadow frame."""

    width: int
    rows: list = field(default_factory=list)
    shadow: bool = False
    x_offset: int = 0
    y_offset: int = 0
    height: int | None = None  # the stored height, when it should differ from len(rows)
    frame_size: int = 0
    unk1: int = 0
    unk2: int = 0


def frame_bytes(frame: Frame) -> bytes:
    height = len(frame.rows) if frame.height is None else frame.height
    word = SHADOW_BIT | (height & 0xFF) if frame.shadow else height
    out = bytearray(struct.pack("<IHHhhBB", frame.frame_size, word, frame.width,
                                frame.y_offset, frame.x_offset, frame.unk1, frame.unk2))
    for row in frame.rows:
        out.append(len(row))
        for offset, pixels in row:
            if frame.shadow:
                out += bytes((offset, pixels))
            else:
                out += bytes((offset, len(pixels))) + bytes(pixels)
    return bytes(out)


def animation_bytes(frames: list[Frame], *, location: str | bytes = "pal/a.pal", speed: int = 0,
                    background: int | None = None, frame_count: int | None = None,
                    location_size: int | None = None) -> bytes:
    """A whole animation file. With `background` set, the header "FATZ" carries it as
    its flag and, when it is non-zero, the last frame is the background frame."""
    out = bytearray()
    if background is not None:
        out += b"FATZ" + struct.pack("<IB", 0, background)
    stored = location.encode() if isinstance(location, str) else location
    stored += b"\0"
    if frame_count is None:
        frame_count = len(frames) - (1 if background else 0)
    out += struct.pack("<II", speed, len(stored) if location_size is None else location_size)
    out += stored + struct.pack("<I", frame_count)
    for frame in frames:
        out += frame_bytes(frame)
    return bytes(out)


def palette_bytes(colors: list[tuple[int, int, int, int]], *, count: int | None = None,
                  model: int = 0) -> bytes:
    out = bytearray(struct.pack("<HH", len(colors) if count is None else count, model))
    for color in colors:
        out += bytes(color)
    return bytes(out)


def ramp_palette(n: int = 256) -> list[tuple[int, int, int, int]]:
    """n distinct opaque colors: entry i is (i, 255 - i, i // 2, 255)."""
    return [(i, 255 - i, i // 2, 255) for i in range(n)]
