"""What each frame PNG says about itself, for packing PNGs without their manifest:
an iTXt chunk with the keyword `ravir` holding JSON (the frame's number, offsets,
shadow flag, gap index and render mode), and a grAb chunk, the two big-endian
int32 offsets that other sprite tools read. Pillow writes both but reads back only
the text, so grAb is found by walking the chunks."""

from __future__ import annotations

import json
import struct
from pathlib import Path
from typing import BinaryIO

from PIL import Image, PngImagePlugin

from ravir_tools.errors import ToolError
from ravir_tools.exchange.json_files import parse_json

KEYWORD = "ravir"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_info(description: dict) -> PngImagePlugin.PngInfo:
    """The chunks of a frame described by `description`, which holds at least
    `offset_x` and `offset_y`."""
    info = PngImagePlugin.PngInfo()
    info.add_itxt(KEYWORD, json.dumps(description, separators=(",", ":")))
    info.add(b"grAb", struct.pack(">ii", description["offset_x"], description["offset_y"]))
    return info


def self_description(image: Image.Image, path: Path, stream: BinaryIO) -> dict:
    """What the frame PNG says about itself: its ravir text when it has one, else the
    offsets of its grAb chunk, else nothing."""
    text = image.info.get(KEYWORD)
    if isinstance(text, str):
        try:
            found = parse_json(text, path)
        except ToolError:
            found = None  # not ours, or damaged: as if there were none
        if isinstance(found, dict):
            return found
    offsets = grab_offsets(stream)
    return {"offset_x": offsets[0], "offset_y": offsets[1]} if offsets else {}


def grab_offsets(stream: BinaryIO) -> tuple[int, int] | None:
    """The offsets of the grAb chunk of the PNG file `stream` reads, from its start."""
    stream.seek(0)
    if stream.read(8) != PNG_SIGNATURE:
        return None
    while header := stream.read(8):
        if len(header) < 8:
            return None
        size, kind = struct.unpack(">I4s", header)
        if kind == b"grAb" and size == 8:
            offsets = stream.read(8)
            return struct.unpack(">ii", offsets) if len(offsets) == 8 else None
        if kind in (b"IDAT", b"IEND"):
            return None  # written before the pixels, or not at all
        stream.seek(size + 4, 1)  # the data and its CRC
    return None
