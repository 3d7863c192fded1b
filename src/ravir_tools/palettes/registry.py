"""Every palette format the tools read and write, and the one way a command reads
the palette a user names.

A palette is a list of up to 256 colors of four bytes (palettes/colors.py). Each
format is one module with one record (palettes/format.py); a new format is a
module and a line in FORMATS. Files are recognised by their content, the formats
tried in the order of FORMATS; a file that none recognises is read by its extension,
and as the game's palette when that tells nothing either. Formats that lose fourth
bytes say so once, as a warning."""

from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

from ravir_tools import _native
from ravir_tools.errors import ToolError
from ravir_tools.input_files import read_whole
from ravir_tools.palettes import act, game, gpl, indexed_image, jasc, swatch
from ravir_tools.palettes.colors import Color, check_count
from ravir_tools.palettes.format import PaletteFormat

FORMATS: list[PaletteFormat] = [gpl.FORMAT, jasc.FORMAT, indexed_image.READ, act.FORMAT, game.FORMAT,
                                indexed_image.WRITE, swatch.FORMAT]
WRITABLE = {f.name: f for f in FORMATS if f.write is not None}


@dataclass
class Palette:
    """Colors read from a palette file, to use in place of the one an animation names."""

    path: Path
    colors: list[Color]
    format: str = game.FORMAT.name
    warnings: list[str] = field(default_factory=list)  # what reading noticed but could get past


def detect(path: Path, data: bytes) -> PaletteFormat:
    suffix = path.suffix.lower()
    readable = [f for f in FORMATS if f.read is not None]
    for format in readable:
        if format.recognise is not None and format.recognise(data, suffix):
            return format
    return next((f for f in readable if suffix in f.read_extensions), game.FORMAT)


def read_palette_file(path: Path) -> Palette:
    """The colors of the palette file at `path`, whatever its format. ToolError names
    the file (and the line, in a text file) when it cannot be read."""
    path = Path(path)
    return palette_from_bytes(path, read_whole(path))


def palette_from_bytes(path: Path, data: bytes) -> Palette:
    """The colors of `data`, the bytes of the palette file at `path`, whatever its format."""
    format = detect(path, data)
    colors, warnings = format.read(path, data)
    return Palette(path, colors, format.name, warnings)


def read_palette(path: Path, warn: Callable[[Path, str], None] | None = None) -> Palette:
    """A palette file in any format, with its colors as the game would read them from
    its own file (a shorter palette padded as the codec pads it), so that every format
    draws alike: the one way a command takes the palette a user names. What is wrong
    but usable about it (a file shorter than its count, say) goes to `warn`."""
    palette = read_palette_file(path)
    for warning in palette.warnings if warn is not None else []:
        warn(palette.path, warning)
    colors, _ = _native.decode_palette(_native.encode_palette(palette.colors))
    palette.colors = [tuple(c) for c in colors]
    return palette


def output_format(path: Path, name: str | None) -> str:
    """The format `name`, or the one the output's extension calls for."""
    if name is not None:
        return name
    suffix = path.suffix.lower()
    found = next((f for f in WRITABLE.values() if suffix in f.write_extensions), None)
    if found is None:
        raise ToolError(path, f"cannot tell a palette format from the extension {path.suffix!r}: "
                              f"name one with --format")
    return found.name


def write_palette_file(path: Path, colors: list[Color], format: str) -> str | None:
    """Writes `colors` to `path` in the format named `format`, replacing the file in
    one step. Returns a warning when the format cannot hold all of them."""
    check_count(path, len(colors), "would hold ")
    return WRITABLE[format].write(Path(path), colors)
