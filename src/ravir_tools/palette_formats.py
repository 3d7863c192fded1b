"""Palette files of the game and of other tools, read and written.

A palette is a list of up to 256 colors of four bytes: red, green, blue and a
fourth byte, which the renderer copies into the images as their alpha. Formats:

  pal          the game's, read and written by the core's codec; holds everything
  gpl          GIMP's text format; with "Channels: RGBA" (as Aseprite writes it)
               when the fourth bytes differ, else RGB with the shared fourth byte
               in a comment that ravir reads back ("# Alpha: N ...")
  act          Adobe's: 768 bytes of RGB, or 772 with the color count and one
               transparent index; keeps a fourth byte only where every entry is
               255 but at most one, which is 0
  jasc         Paint Shop Pro's JASC-PAL text (also named .pal); RGB only
  png-palette  an indexed 16x16 PNG whose pixel i is entry i, the fourth bytes in tRNS
  png          a labelled swatch to look at (written only)

Readers recognise a file by its content. The binary formats have no signature:
a file of 768 or 772 bytes that also reads as a whole game palette (191 or 192
colors, exactly filling it) is an .act file when its name ends in .act, and a game
palette otherwise. Formats that lose fourth bytes say so once, as a warning."""

from __future__ import annotations

import re
import struct
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

from PIL import Image, UnidentifiedImageError

from ravir_tools import _native, atomic_file
from ravir_tools.errors import ToolError, check_readable
from ravir_tools.images import save_image
from ravir_tools.swatch import swatch

Color = tuple[int, int, int, int]

MAX_COLORS = 256
OPAQUE = 255


@dataclass
class Palette:
    """Colors read from a palette file, to use in place of the one an animation names."""

    path: Path
    colors: list[Color]
    format: str = "pal"
    warnings: list[str] = field(default_factory=list)  # what reading noticed but could get past


def alphas_differ(colors: list[Color]) -> bool:
    return len({c[3] for c in colors}) > 1


def lost_alpha(colors: list[Color], format: str) -> str | None:
    """The warning for a format that keeps only opaque entries, when others are met."""
    changed = sum(1 for c in colors if c[3] != OPAQUE)
    if not changed:
        return None
    return (f"the {format} format has no fourth byte (alpha): {changed} of the {len(colors)} entries "
            f"are not {OPAQUE}, and are written as {OPAQUE}")


def check_count(path: Path, count: int, where: str = "") -> None:
    if count > MAX_COLORS:
        raise ToolError(path, f"{where}{count} colors; a palette holds at most {MAX_COLORS}")
    if count == 0:
        raise ToolError(path, f"{where}no colors")


# --- the game's palettes ---------------------------------------------------------

def read_game(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    colors, problems = _native.decode_palette(data)
    if colors is None:
        raise ToolError(path, f"cannot read the palette: {problems[0].message}")
    return [tuple(c) for c in colors], [problem.message for problem in problems]


def write_game(path: Path, colors: list[Color]) -> str | None:
    atomic_file.write_bytes(path, _native.encode_palette(colors))
    return None


# --- text formats ----------------------------------------------------------------

def text_lines(data: bytes) -> list[tuple[int, str]]:
    """The non-blank lines with their numbers (from 1), stripped."""
    text = data.decode("utf-8", errors="replace").removeprefix("\ufeff")
    return [(number, line.strip()) for number, line in enumerate(text.splitlines(), 1) if line.strip()]


def parse_values(path: Path, number: int, line: str, count: int) -> list[int]:
    """The first `count` whole numbers of `line`, each from 0 to 255."""
    words = line.split()
    if len(words) < count:
        raise ToolError(path, f"line {number}: {line!r} holds {len(words)} values, a color needs {count}")
    values = []
    for word in words[:count]:
        try:
            value = int(word)
        except ValueError:
            raise ToolError(path, f"line {number}: {word!r} is not a number") from None
        if not 0 <= value <= 255:
            raise ToolError(path, f"line {number}: {value} is not from 0 to 255")
        values.append(value)
    return values


GPL_HEADER = "GIMP Palette"
# The shared fourth byte of an RGB .gpl, which GIMP takes as a comment.
GPL_ALPHA = re.compile(r"#\s*Alpha:\s*(\d+)\b")


def read_gpl(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    lines = text_lines(data)
    if not lines or lines[0][1] != GPL_HEADER:
        raise ToolError(path, f"line {lines[0][0] if lines else 1}: a GIMP palette starts with {GPL_HEADER!r}")
    channels = 3
    shared_alpha = OPAQUE
    colors: list[Color] = []
    for number, line in lines[1:]:
        if line.startswith("#"):
            if match := GPL_ALPHA.match(line):
                shared_alpha = int(match[1])
                if shared_alpha > 255:
                    raise ToolError(path, f"line {number}: an alpha of {shared_alpha} is not from 0 to 255")
        elif line.startswith(("Name:", "Columns:")):
            continue
        elif line.startswith("Channels:"):
            value = line.removeprefix("Channels:").strip()
            if value not in ("RGB", "RGBA"):
                raise ToolError(path, f"line {number}: channels {value!r}, not RGB or RGBA")
            channels = len(value)
        else:
            values = parse_values(path, number, line, channels)
            if len(colors) == MAX_COLORS:
                raise ToolError(path, f"line {number}: more than {MAX_COLORS} colors; a palette holds at most "
                                      f"{MAX_COLORS}")
            colors.append((*values, shared_alpha) if channels == 3 else tuple(values))
    check_count(path, len(colors), "holds ")
    return colors, []


def write_gpl(path: Path, colors: list[Color]) -> str | None:
    rgba = alphas_differ(colors)
    if rgba:
        lines = [GPL_HEADER, "Channels: RGBA", "#"]  # as Aseprite writes it
    else:
        lines = [GPL_HEADER, f"Name: {path.stem}", "Columns: 16",
                 f"# Alpha: {colors[0][3]} (the fourth byte of every entry, read back by ravir)", "#"]
    for index, (r, g, b, a) in enumerate(colors):
        lines.append(f"{r:3d} {g:3d} {b:3d}" + (f" {a:3d}" if rgba else "") + f"\tIndex {index}")
    atomic_file.write_text(path, "\n".join(lines) + "\n")
    return None


JASC_HEADER = "JASC-PAL"


def read_jasc(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    lines = text_lines(data)
    if not lines or lines[0][1] != JASC_HEADER:
        raise ToolError(path, f"line {lines[0][0] if lines else 1}: a JASC palette starts with {JASC_HEADER!r}")
    if len(lines) < 3:
        raise ToolError(path, "the file ends before its color count")
    number, count_text = lines[2]
    try:
        count = int(count_text)
    except ValueError:
        raise ToolError(path, f"line {number}: {count_text!r} is not a number") from None
    check_count(path, count, f"line {number}: a count of ")
    entries = lines[3:]
    if len(entries) != count:
        raise ToolError(path, f"line {number}: the count is {count}, but {len(entries)} color lines follow")
    return [(*parse_values(path, n, line, 3), OPAQUE) for n, line in entries], []


def write_jasc(path: Path, colors: list[Color]) -> str | None:
    lines = [JASC_HEADER, "0100", str(len(colors))] + [f"{r} {g} {b}" for r, g, b, _ in colors]
    atomic_file.write_text(path, "\r\n".join(lines) + "\r\n")
    return lost_alpha(colors, "JASC-PAL")


# --- Adobe color tables ----------------------------------------------------------

ACT_COLORS_SIZE = 3 * MAX_COLORS
ACT_TRAILER = struct.Struct(">HH")  # the color count, the transparent index
ACT_SIZES = (ACT_COLORS_SIZE, ACT_COLORS_SIZE + ACT_TRAILER.size)
NO_TRANSPARENT = 0xFFFF


def act_trailer(data: bytes) -> tuple[int, int] | None:
    return ACT_TRAILER.unpack_from(data, ACT_COLORS_SIZE) if len(data) == ACT_SIZES[1] else None


def read_act(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    if len(data) not in ACT_SIZES:
        raise ToolError(path, f"an .act palette is {ACT_SIZES[0]} or {ACT_SIZES[1]} bytes long, this one "
                              f"{len(data)} bytes: it is cut short, or no .act file")
    count, transparent = act_trailer(data) or (MAX_COLORS, NO_TRANSPARENT)
    check_count(path, count, "its trailer gives ")
    return [(data[3 * i], data[3 * i + 1], data[3 * i + 2], 0 if i == transparent else OPAQUE)
            for i in range(count)], []


def write_act(path: Path, colors: list[Color]) -> str | None:
    clear = [index for index, c in enumerate(colors) if c[3] == 0]
    transparent = clear[0] if len(clear) == 1 else NO_TRANSPARENT
    data = bytearray(ACT_COLORS_SIZE)
    for index, (r, g, b, _) in enumerate(colors):
        data[3 * index:3 * index + 3] = bytes((r, g, b))
    if len(colors) < MAX_COLORS or transparent != NO_TRANSPARENT:
        data += ACT_TRAILER.pack(len(colors), transparent)
    atomic_file.write_bytes(path, bytes(data))
    kept = [c if i != transparent else (*c[:3], OPAQUE) for i, c in enumerate(colors)]
    lost = lost_alpha(kept, ".act")
    return lost and lost + " (it keeps only one entry of 0, as its transparent color)"


# --- images ----------------------------------------------------------------------

IMAGE_SIGNATURES = (b"\x89PNG\r\n\x1a\n", b"GIF87a", b"GIF89a", b"BM")
IMAGE_FORMATS = ("PNG", "GIF", "BMP")
PNG_PALETTE_WIDTH = 16


def read_image(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    """The palette of an indexed image, its transparency as fourth bytes."""
    try:
        with Image.open(path, formats=IMAGE_FORMATS) as image:
            if image.mode not in ("P", "PA"):
                raise ToolError(path, f"is an image without a palette (mode {image.mode}); only an indexed image "
                                      "holds one")
            rgb = image.getpalette("RGB") or []
            transparency = image.info.get("transparency")
    except (OSError, UnidentifiedImageError, SyntaxError) as error:
        raise ToolError(path, f"cannot read the image: {error}") from None
    count = len(rgb) // 3
    if isinstance(transparency, bytes):
        alphas = list(transparency[:count]) + [OPAQUE] * (count - len(transparency))
    else:
        alphas = [0 if index == transparency else OPAQUE for index in range(count)]
    colors = [(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], alphas[i]) for i in range(count)]
    check_count(path, len(colors), "holds ")
    return colors, []


def write_png_palette(path: Path, colors: list[Color]) -> str | None:
    image = Image.new("P", (PNG_PALETTE_WIDTH, MAX_COLORS // PNG_PALETTE_WIDTH))
    image.putpalette(bytes(value for c in colors for value in c[:3]), "RGB")
    image.putdata([index if index < len(colors) else 0 for index in range(MAX_COLORS)])
    options = {}
    if any(c[3] != OPAQUE for c in colors):
        options["transparency"] = bytes(c[3] for c in colors)
    save_image(image, path, **options)
    return None


def write_swatch(path: Path, colors: list[Color]) -> str | None:
    save_image(swatch(colors), path)
    return None


# --- choosing the format ---------------------------------------------------------

Reader = Callable[[Path, bytes], tuple[list[Color], list[str]]]
Writer = Callable[[Path, list[Color]], "str | None"]

READERS: dict[str, Reader] = {
    "pal": read_game, "gpl": read_gpl, "act": read_act, "jasc": read_jasc, "image": read_image,
}
WRITERS: dict[str, Writer] = {
    "pal": write_game, "gpl": write_gpl, "act": write_act, "jasc": write_jasc,
    "png": write_swatch, "png-palette": write_png_palette,
}
# The format each output extension gets unless --format says otherwise.
BY_EXTENSION = {".pal": "pal", ".gpl": "gpl", ".act": "act", ".png": "png"}
# What a file whose content tells nothing is read as, by its extension.
READ_BY_EXTENSION = {".gpl": "gpl", ".act": "act", ".png": "image", ".gif": "image", ".bmp": "image"}


def whole_game_palette(data: bytes) -> bool:
    """Whether the file is a game palette's header followed by exactly its colors."""
    if len(data) < 4:
        return False
    (count,) = struct.unpack_from("<H", data)
    return 1 <= count <= MAX_COLORS and len(data) == 4 + 4 * count


def detect(path: Path, data: bytes) -> str:
    head = data.lstrip(b"\xef\xbb\xbf \t\r\n")
    if head.startswith(GPL_HEADER.encode()):
        return "gpl"
    if head.startswith(JASC_HEADER.encode()):
        return "jasc"
    if data.startswith(IMAGE_SIGNATURES):
        return "image"
    trailer = act_trailer(data)
    act = len(data) == ACT_SIZES[0] or (trailer is not None and 1 <= trailer[0] <= MAX_COLORS)
    suffix = path.suffix.lower()
    if act and whole_game_palette(data):
        return "act" if suffix == ".act" else "pal"
    if act:
        return "act"
    return READ_BY_EXTENSION.get(suffix, "pal")


def read_palette_file(path: Path) -> Palette:
    """The colors of the palette file at `path`, whatever its format. ToolError names
    the file (and the line, in a text file) when it cannot be read."""
    path = Path(path)
    check_readable(path)
    try:
        data = path.read_bytes()
    except OSError as error:
        raise ToolError(path, f"cannot read: {error.strerror}") from None
    format = detect(path, data)
    colors, warnings = READERS[format](path, data)
    return Palette(path, colors, format, warnings)


def output_format(path: Path, format: str | None) -> str:
    if format is not None:
        return format
    try:
        return BY_EXTENSION[path.suffix.lower()]
    except KeyError:
        raise ToolError(path, f"cannot tell a palette format from the extension {path.suffix!r}: "
                              f"name one with --format") from None


def write_palette_file(path: Path, colors: list[Color], format: str) -> str | None:
    """Writes `colors` to `path` in `format`, replacing the file in one step. Returns
    a warning when the format cannot hold all of them."""
    check_count(path, len(colors), "would hold ")
    return WRITERS[format](Path(path), colors)
