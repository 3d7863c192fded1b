"""Aseprite documents built chunk by chunk, as Aseprite saves them after an edit.

Kept free of ravir itself, so that what it reads is checked against layouts written
out separately here.
"""

from __future__ import annotations

import struct
import zlib


def string(text: str) -> bytes:
    raw = text.encode()
    return struct.pack("<H", len(raw)) + raw


def chunk(kind: int, payload: bytes, size: int | None = None) -> bytes:
    return struct.pack("<IH", 6 + len(payload) if size is None else size, kind) + payload


def frame(chunks: list[bytes], duration: int = 100, size: int | None = None, count: int | None = None) -> bytes:
    body = b"".join(chunks)
    count = len(chunks) if count is None else count
    size = 16 + len(body) if size is None else size
    return struct.pack("<IHHH2xI", size, 0xF1FA, min(count, 0xFFFF), duration, count) + body


def document(frames: list[bytes], width: int = 8, height: int = 8, depth: int = 8, transparent: int = 0,
             magic: int = 0xA5E0, frame_count: int | None = None) -> bytes:
    body = b"".join(frames)
    count = len(frames) if frame_count is None else frame_count
    header = struct.pack("<IHHHHHIHIIB3xHBBhhHH84x", 128 + len(body), magic, count, width, height, depth, 1,
                         100, 0, 0, transparent, 256, 1, 1, 0, 0, 16, 16)
    return header + body


def palette(colors: list[tuple[int, int, int, int]], first: int = 0, size: int | None = None,
            names: dict[int, str] | None = None) -> bytes:
    names = names or {}
    entries = b"".join(struct.pack("<HBBBB", int(first + i in names), *color) +
                       (string(names[first + i]) if first + i in names else b"")
                       for i, color in enumerate(colors))
    size = first + len(colors) if size is None else size
    return chunk(0x2019, struct.pack("<III8x", size, first, first + len(colors) - 1) + entries)


def old_palette(packets: list[tuple[int, list[tuple[int, int, int]]]], kind: int = 0x0004) -> bytes:
    """Packets of (entries to skip, colors as r, g, b)."""
    body = b"".join(struct.pack("<BB", skip, len(colors) % 256) + bytes(v for c in colors for v in c)
                    for skip, colors in packets)
    return chunk(kind, struct.pack("<H", len(packets)) + body)


def layer(name: str, flags: int = 3, kind: int = 0, child_level: int = 0, opacity: int = 255) -> bytes:
    return chunk(0x2004, struct.pack("<HHHHHHB3x", flags, kind, child_level, 0, 0, 0, opacity) + string(name) +
                 (struct.pack("<I", 0) if kind == 2 else b""))


def cel(layer_index: int, x: int, y: int, width: int, height: int, pixels: bytes, *, raw: bool = False,
        stream: bytes | None = None, opacity: int = 255) -> bytes:
    head = struct.pack("<HhhBHh5x", layer_index, x, y, opacity, 0 if raw else 2, 0)
    data = pixels if raw else zlib.compress(pixels) if stream is None else stream
    return chunk(0x2005, head + struct.pack("<HH", width, height) + data)


def linked_cel(layer_index: int, x: int, y: int, frame_index: int) -> bytes:
    return chunk(0x2005, struct.pack("<HhhBHh5xH", layer_index, x, y, 255, 1, 0, frame_index))


def tilemap_cel(layer_index: int) -> bytes:
    return chunk(0x2005, struct.pack("<HhhBHh5x", layer_index, 0, 0, 255, 3, 0) +
                 struct.pack("<HHHIIII10x", 1, 1, 32, 0x1FFFFFFF, 0, 0, 0) + zlib.compress(bytes(4)))


def tags(entries: list[tuple[int, int, str]]) -> bytes:
    return chunk(0x2018, struct.pack("<H8x", len(entries)) + b"".join(
        struct.pack("<HHBH6x3Bx", start, end, 0, 0, 0, 0, 0) + string(name) for start, end, name in entries))


def user_data(text: str | None = None, color: tuple[int, int, int, int] | None = None,
              properties: bytes | None = None) -> bytes:
    flags = (text is not None) | (color is not None) << 1 | (properties is not None) << 2
    return chunk(0x2020, struct.pack("<I", flags) + (b"" if text is None else string(text)) +
                 (b"" if color is None else bytes(color)) + (properties or b""))


def properties_block() -> bytes:
    """One properties map (key 0) holding one bool property "on" = true."""
    body = struct.pack("<I", 1) + struct.pack("<II", 0, 1) + string("on") + struct.pack("<HB", 1, 1)
    return struct.pack("<I", 4 + len(body)) + body


# Chunks that Aseprite writes and the reader skips, with plausible contents.
COLOR_PROFILE = chunk(0x2007, struct.pack("<HHI8x", 1, 0, 0))
CEL_EXTRA = chunk(0x2006, struct.pack("<I4i16x", 1, 0, 0, 4 << 16, 4 << 16))
EXTERNAL_FILES = chunk(0x2008, struct.pack("<I8x", 1) + struct.pack("<IB7x", 1, 0) + string("palette.aseprite"))
SLICE = chunk(0x2022, struct.pack("<III", 1, 0, 0) + string("hitbox") + struct.pack("<IiiII", 0, 0, 0, 4, 4))
MASK = chunk(0x2016, struct.pack("<hhHH8x", 0, 0, 1, 1) + string("m") + b"\x80")
PATH = chunk(0x2017, b"")
UNKNOWN = chunk(0x7A7A, b"\x01\x02\x03")
