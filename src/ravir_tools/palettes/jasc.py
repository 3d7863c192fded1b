"""Paint Shop Pro's JASC-PAL text palettes (often named .pal too): RGB only."""

from __future__ import annotations

from pathlib import Path

from ravir_tools import atomic_file
from ravir_tools.errors import ToolError, excerpt
from ravir_tools.palettes.colors import OPAQUE, Color, check_count, lost_alpha
from ravir_tools.palettes.format import PaletteFormat
from ravir_tools.palettes.text_lines import parse_values, starts_with, text_lines

HEADER = "JASC-PAL"


def read(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    lines = text_lines(data)
    if not lines or lines[0][1] != HEADER:
        raise ToolError(path, f"line {lines[0][0] if lines else 1}: a JASC palette starts with {HEADER!r}")
    if len(lines) < 3:
        raise ToolError(path, "the file ends before its color count")
    number, count_text = lines[2]
    try:
        count = int(count_text)
    except ValueError:
        raise ToolError(path, f"line {number}: {excerpt(count_text)} is not a number") from None
    check_count(path, count, f"line {number}: a count of ")
    entries = lines[3:]
    if len(entries) != count:
        raise ToolError(path, f"line {number}: the count is {count}, but {len(entries)} color lines follow")
    return [(*parse_values(path, n, line, 3), OPAQUE) for n, line in entries], []


def write(path: Path, colors: list[Color]) -> str | None:
    lines = [HEADER, "0100", str(len(colors))] + [f"{r} {g} {b}" for r, g, b, _ in colors]
    atomic_file.write_text(path, "\r\n".join(lines) + "\r\n")
    return lost_alpha(colors, "JASC-PAL")


FORMAT = PaletteFormat("jasc", read, write, lambda data, suffix: starts_with(data, HEADER))
