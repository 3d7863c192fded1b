"""Small files that ask for much: each built byte by byte, as a damaged or crafted
download might hold it."""

from __future__ import annotations

import json
import struct
import zlib

from tests.support import aseprite_bytes as ab
from tests.support.orv_bytes import Frame, animation_bytes

DOT = Frame(width=1, rows=[[(0, [1])]])


def dots_at(*offsets: int) -> bytes:
    """One-pixel frames at (offset, offset) each: the canvas that holds them all is large."""
    return animation_bytes([Frame(width=1, rows=[[(0, [1])]], x_offset=o, y_offset=o) for o in offsets])


def empty_rows(width: int, height: int) -> bytes:
    """A frame of `width` x `height` that draws nothing: a few bytes a row."""
    return animation_bytes([Frame(width=width, rows=[[]] * height)])


def png_chunk(kind: bytes, data: bytes) -> bytes:
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width: int, height: int, *chunks: bytes, color_type: int = 6) -> bytes:
    """A PNG whose header declares `width` x `height`, with `chunks` and no pixels."""
    header = struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + b"".join(chunks) + png_chunk(b"IEND", b"")


def inflating_text(size: int = 8 << 20) -> bytes:
    """A zTXt chunk of a few KiB that inflates to `size` bytes."""
    return png_chunk(b"zTXt", b"Comment\0\0" + zlib.compress(b" " * size, 9))


def indexed_png(width: int, height: int) -> bytes:
    return png(width, height, png_chunk(b"PLTE", bytes(3 * 256)), color_type=3)


def nested(depth: int) -> str:
    return "[" * depth + "]" * depth


def manifest(frame_count: int, **fields) -> str:
    """A manifest of frames without pixels."""
    frame = {"image": None, "width": 0, "height": 0, "offset_x": 0, "offset_y": 0, "shadow": False,
             "gap_index": None, "mask": None}
    document = {"format": "ravir animation", "version": 1, "render": "indexed", "scale": 1, "speed": 1,
                "background": False, "source": {"file": None, "sha256": None},
                "palette": {"location": "pal/a.pal", "file": None}, "frames": [frame] * frame_count, **fields}
    return json.dumps(document)


def aseprite_claiming(width: int, height: int) -> bytes:
    """A document as render writes it, one cel of one pixel whose user data says its
    frame is `width` x `height`."""
    def facts(kind: str, **values) -> bytes:
        return ab.user_data(json.dumps({"ravir": kind, **values}))

    return ab.document([ab.frame([
        ab.palette([(0, 0, 0, 255)] * 4),
        facts("animation", version=1, origin=[0, 0], palette={}, speed=1, duration_ms=1),
        ab.layer("frames"), facts("layer", role="frames"),
        ab.cel(0, 0, 0, 1, 1, b"\1"),
        facts("frame", width=width, height=height, offset_x=0, offset_y=0, shadow=False, cel=[0, 0, 1, 1]),
    ])])


def animation_of_frames(*sizes: tuple[int, int]) -> bytes:
    return animation_bytes([Frame(width=width, rows=[[]] * height) for width, height in sizes])


def animation_at(location: str) -> bytes:
    """A dot whose palette location is `location`."""
    return animation_bytes([DOT], location=location)
