"""An indexed Aseprite document in memory, and the byte layouts its file uses.

The file is a 128-byte header, then one block per frame: a 16-byte frame header and
that frame's chunks. A chunk is a DWORD size (counting its own 6-byte header), a
WORD type and its data, so a reader can skip any chunk it does not need. All
numbers are little-endian; a STRING is a WORD byte count and that many UTF-8 bytes.
The first frame holds the palette, the layers (their order is their index) and the
tags; every frame holds its cels, one image per layer placed on the canvas. A
user-data chunk belongs to the chunk read just before it (in the first frame, the
one after the palette belongs to the sprite; after the tags, one per tag in turn).
A document of no frames keeps these in one frame block past the frame count.

ravir writes and reads indexed documents only: one byte per pixel, a palette of at
most 256 colors. aseprite_writer.py and aseprite_reader.py turn this model into
bytes and back.
"""

from __future__ import annotations

import struct
from dataclasses import dataclass, field
from enum import IntEnum

MAGIC = 0xA5E0
FRAME_MAGIC = 0xF1FA
INDEXED_DEPTH = 8
MAX_COLORS = 256
LAYER_OPACITY_VALID = 1  # header flag: the layers' opacity is meant

# file size, magic, frame count, width, height, color depth, flags, speed (ms, deprecated),
# two zero DWORDs, transparent index, 3 ignored, color count, pixel width, pixel height,
# grid x, grid y, grid width, grid height, 84 zero bytes
HEADER = struct.Struct("<IHHHHHIHIIB3xHBBhhHH84x")
# bytes in the frame (header included), magic, chunk count (0xFFFF: see the DWORD),
# duration in ms, 2 zero bytes, chunk count (0: use the WORD)
FRAME_HEADER = struct.Struct("<IHHH2xI")
CHUNK_HEADER = struct.Struct("<IH")  # size including these 6 bytes, type
# palette: size, first index changed, last index changed, 8 zero bytes; then the entries
PALETTE = struct.Struct("<III8x")
PALETTE_ENTRY = struct.Struct("<HBBBB")  # flags (1: a name STRING follows), r, g, b, a
# old palettes: a WORD packet count; each packet skips entries, then gives colors (0: 256) as r, g, b
OLD_PALETTE_PACKET = struct.Struct("<BB")
# layer: flags, type, child level, width and height (both unused), blend mode, opacity,
# 3 zero bytes; then the name STRING
LAYER = struct.Struct("<HHHHHHB3x")
# cel: layer index, x, y, opacity, cel type, z-index, 5 zero bytes; then by type:
CEL = struct.Struct("<HhhBHh5x")
CEL_SIZE = struct.Struct("<HH")  # raw and compressed: width, height, then the pixels
CEL_LINK = struct.Struct("<H")  # linked: the frame whose cel on this layer this one repeats
TAGS = struct.Struct("<H8x")  # tag count, 8 zero bytes
# per tag: from frame, to frame, direction, repeat, 6 zero bytes, color r, g, b, a zero; then the name STRING
TAG = struct.Struct("<HHBH6x3Bx")
USER_DATA_FLAGS = struct.Struct("<I")  # 1: text STRING, 2: color r, g, b, a, 4: properties
PROPERTIES_SIZE = struct.Struct("<I")  # the properties block's size, this field included
WORD = struct.Struct("<H")
RGB = struct.Struct("<BBB")
RGBA = struct.Struct("<BBBB")


class Chunk(IntEnum):
    OLD_PALETTE = 0x0004
    OLD_PALETTE_6BIT = 0x0011
    LAYER = 0x2004
    CEL = 0x2005
    CEL_EXTRA = 0x2006
    COLOR_PROFILE = 0x2007
    EXTERNAL_FILES = 0x2008
    MASK = 0x2016
    PATH = 0x2017
    TAGS = 0x2018
    PALETTE = 0x2019
    USER_DATA = 0x2020
    SLICE = 0x2022
    TILESET = 0x2023


class CelType(IntEnum):
    RAW, LINKED, COMPRESSED, TILEMAP = range(4)


class LayerType(IntEnum):
    IMAGE, GROUP, TILEMAP = range(3)


class LayerFlag(IntEnum):
    VISIBLE = 1
    EDITABLE = 2
    BACKGROUND = 8
    REFERENCE = 64


class DocumentError(ValueError):
    """A document that cannot be read as it stands, with the frame (from 0) it concerns."""

    def __init__(self, message: str, frame: int | None = None):
        super().__init__(message if frame is None else f"frame {frame}: {message}")
        self.frame = frame


@dataclass
class UserData:
    text: str | None = None
    color: tuple[int, int, int, int] | None = None
    properties_raw: bytes | None = None  # the properties block as stored, kept whole

    def __bool__(self) -> bool:
        return self.text is not None or self.color is not None or self.properties_raw is not None


@dataclass
class Layer:
    name: str
    flags: int = LayerFlag.VISIBLE | LayerFlag.EDITABLE
    type: int = LayerType.IMAGE
    child_level: int = 0
    opacity: int = 255
    blend_mode: int = 0
    user_data: UserData | None = None


@dataclass
class Cel:
    """An image of width x height palette indices, rows top to bottom, at (x, y) on the canvas."""

    layer_index: int
    x: int
    y: int
    width: int
    height: int
    pixels: bytes
    opacity: int = 255
    z_index: int = 0
    user_data: UserData | None = None
    # Written as a link to this layer's cel in that earlier frame; its pixels are that cel's.
    linked_from: int | None = None


@dataclass
class Frame:
    duration_ms: int
    cels: list[Cel] = field(default_factory=list)


@dataclass
class Tag:
    from_frame: int
    to_frame: int
    name: str
    direction: int = 0  # 0 forward, 1 reverse, 2 ping-pong, 3 ping-pong reverse
    repeat: int = 0  # 0: for ever
    color: tuple[int, int, int] = (0, 0, 0)
    user_data: UserData | None = None


@dataclass
class Document:
    width: int
    height: int
    palette: list[tuple[int, int, int, int]]
    layers: list[Layer] = field(default_factory=list)
    frames: list[Frame] = field(default_factory=list)
    tags: list[Tag] = field(default_factory=list)
    transparent_index: int = 0
    depth: int = INDEXED_DEPTH
    user_data: UserData | None = None
