"""The game's own palette files, read and written by the core's codec: a color
count and four bytes a color. The format has no signature: a file is recognised
as one when it is a count followed by exactly that many colors, and a file that
no format recognises is read as one too."""

from __future__ import annotations

import struct
from pathlib import Path

from ravir_tools import _native, atomic_file
from ravir_tools.errors import ToolError
from ravir_tools.palettes.colors import MAX_COLORS, Color
from ravir_tools.palettes.format import PaletteFormat

COUNT = struct.Struct("<H")
HEADER_SIZE = 4  # the count and two bytes the game ignores


def read(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    colors, problems = _native.decode_palette(data)
    if colors is None:
        raise ToolError(path, f"cannot read the palette: {problems[0].message}")
    return [tuple(c) for c in colors], [problem.message for problem in problems]


def write(path: Path, colors: list[Color]) -> str | None:
    atomic_file.write_bytes(path, _native.encode_palette(colors))
    return None


def is_whole(data: bytes) -> bool:
    """Whether the file is a game palette's header followed by exactly its colors."""
    if len(data) < HEADER_SIZE:
        return False
    (count,) = COUNT.unpack_from(data)
    return 1 <= count <= MAX_COLORS and len(data) == HEADER_SIZE + 4 * count


FORMAT = PaletteFormat("pal", read, write, lambda data, suffix: is_whole(data), write_extensions=(".pal",))
