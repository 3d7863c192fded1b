"""GIMP's text palettes (.gpl). With "Channels: RGBA" (as Aseprite writes it) when
the fourth bytes differ; otherwise RGB, with the fourth byte all entries share in a
comment that ravir reads back ("# Alpha: N ...") and GIMP takes for a comment."""

from __future__ import annotations

import re
from pathlib import Path

from ravir_tools import atomic_file
from ravir_tools.errors import ToolError, excerpt
from ravir_tools.palettes.colors import MAX_COLORS, OPAQUE, Color, check_count
from ravir_tools.palettes.format import PaletteFormat
from ravir_tools.palettes.text_lines import parse_values, starts_with, text_lines

HEADER = "GIMP Palette"
# The shared fourth byte of an RGB .gpl, which GIMP takes as a comment.
SHARED_ALPHA = re.compile(r"#\s*Alpha:\s*(\d+)\b")


def read(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    lines = text_lines(data)
    if not lines or lines[0][1] != HEADER:
        raise ToolError(path, f"line {lines[0][0] if lines else 1}: a GIMP palette starts with {HEADER!r}")
    channels = 3
    shared_alpha = OPAQUE
    colors: list[Color] = []
    for number, line in lines[1:]:
        if line.startswith("#"):
            if match := SHARED_ALPHA.match(line):
                # Three digits at most: a longer number is above 255 (and may be too long to convert).
                if len(match[1]) > 3 or int(match[1]) > 255:
                    raise ToolError(path, f"line {number}: an alpha of {excerpt(match[1])} is not from 0 to 255")
                shared_alpha = int(match[1])
        elif line.startswith(("Name:", "Columns:")):
            continue
        elif line.startswith("Channels:"):
            value = line.removeprefix("Channels:").strip()
            if value not in ("RGB", "RGBA"):
                raise ToolError(path, f"line {number}: channels {excerpt(value)}, not RGB or RGBA")
            channels = len(value)
        else:
            values = parse_values(path, number, line, channels)
            if len(colors) == MAX_COLORS:
                raise ToolError(path, f"line {number}: more than {MAX_COLORS} colors; a palette holds at most "
                                      f"{MAX_COLORS}")
            colors.append((*values, shared_alpha) if channels == 3 else tuple(values))
    check_count(path, len(colors), "holds ")
    return colors, []


def alphas_differ(colors: list[Color]) -> bool:
    return len({c[3] for c in colors}) > 1


def write(path: Path, colors: list[Color]) -> str | None:
    rgba = alphas_differ(colors)
    if rgba:
        lines = [HEADER, "Channels: RGBA", "#"]  # as Aseprite writes it
    else:
        lines = [HEADER, f"Name: {path.stem}", "Columns: 16",
                 f"# Alpha: {colors[0][3]} (the fourth byte of every entry, read back by ravir)", "#"]
    for index, (r, g, b, a) in enumerate(colors):
        lines.append(f"{r:3d} {g:3d} {b:3d}" + (f" {a:3d}" if rgba else "") + f"\tIndex {index}")
    atomic_file.write_text(path, "\n".join(lines) + "\n")
    return None

FORMAT = PaletteFormat("gpl", read, write, lambda data, suffix: starts_with(data, HEADER),
                       read_extensions=(".gpl",), write_extensions=(".gpl",))
