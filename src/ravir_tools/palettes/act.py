"""Adobe color tables: 768 bytes of RGB, or 772 with the color count and one
transparent index. They keep a fourth byte only where every entry is 255 but at
most one, which is 0. The format has no signature: a 768- or 772-byte file that
also reads as a whole game palette (191 or 192 colors, exactly filling it) is an
.act file when its name ends in .act, and a game palette otherwise."""

from __future__ import annotations

import struct
from pathlib import Path

from ravir_tools import atomic_file
from ravir_tools.errors import ToolError
from ravir_tools.palettes import game
from ravir_tools.palettes.colors import MAX_COLORS, OPAQUE, Color, check_count, lost_alpha
from ravir_tools.palettes.format import PaletteFormat

COLORS_SIZE = 3 * MAX_COLORS
TRAILER = struct.Struct(">HH")  # the color count, the transparent index
SIZES = (COLORS_SIZE, COLORS_SIZE + TRAILER.size)
NO_TRANSPARENT = 0xFFFF


def trailer(data: bytes) -> tuple[int, int] | None:
    return TRAILER.unpack_from(data, COLORS_SIZE) if len(data) == SIZES[1] else None


def has_act_size(data: bytes) -> bool:
    """Whether the file is as long as an .act file, with a plausible trailer if any."""
    found = trailer(data)
    return len(data) == SIZES[0] or (found is not None and 1 <= found[0] <= MAX_COLORS)


def read(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    if len(data) not in SIZES:
        raise ToolError(path, f"an .act palette is {SIZES[0]} or {SIZES[1]} bytes long, this one "
                              f"{len(data)} bytes: it is cut short, or no .act file")
    count, transparent = trailer(data) or (MAX_COLORS, NO_TRANSPARENT)
    check_count(path, count, "its trailer gives ")
    return [(data[3 * i], data[3 * i + 1], data[3 * i + 2], 0 if i == transparent else OPAQUE)
            for i in range(count)], []


def write(path: Path, colors: list[Color]) -> str | None:
    clear = [index for index, c in enumerate(colors) if c[3] == 0]
    transparent = clear[0] if len(clear) == 1 else NO_TRANSPARENT
    data = bytearray(COLORS_SIZE)
    for index, (r, g, b, _) in enumerate(colors):
        data[3 * index:3 * index + 3] = bytes((r, g, b))
    if len(colors) < MAX_COLORS or transparent != NO_TRANSPARENT:
        data += TRAILER.pack(len(colors), transparent)
    atomic_file.write_bytes(path, bytes(data))
    kept = [c if i != transparent else (*c[:3], OPAQUE) for i, c in enumerate(colors)]
    lost = lost_alpha(kept, ".act")
    return lost and lost + " (it keeps only one entry of 0, as its transparent color)"


def recognise(data: bytes, suffix: str) -> bool:
    return has_act_size(data) and (suffix == ".act" or not game.is_whole(data))


FORMAT = PaletteFormat("act", read, write, recognise, read_extensions=(".act",), write_extensions=(".act",))
