"""Palettes in indexed images. Read: the palette of any indexed PNG, GIF or BMP,
its transparency as fourth bytes. Written ("png-palette"): a 16x16 indexed PNG whose
pixel i is entry i, the fourth bytes in its tRNS chunk."""

from __future__ import annotations

import io
import warnings
from pathlib import Path

from PIL import Image

from ravir_tools import atomic_file
from ravir_tools.errors import ToolError
from ravir_tools.palettes.colors import MAX_COLORS, OPAQUE, Color, check_count
from ravir_tools.palettes.format import PaletteFormat

SIGNATURES = (b"\x89PNG\r\n\x1a\n", b"GIF87a", b"GIF89a", b"BM")
FORMATS = ("PNG", "GIF", "BMP")
PNG_WIDTH = 16


def read(path: Path, data: bytes) -> tuple[list[Color], list[str]]:
    """The palette of an indexed image, its transparency as fourth bytes."""
    try:
        # Only the palette is read: the size of the pixels does not matter here.
        with warnings.catch_warnings(action="ignore", category=Image.DecompressionBombWarning), \
                Image.open(io.BytesIO(data), formats=FORMATS) as image:
            if image.mode not in ("P", "PA"):
                raise ToolError(path, f"is an image without a palette (mode {image.mode}); only an indexed image "
                                      "holds one")
            rgb = image.getpalette("RGB") or []
            transparency = image.info.get("transparency")
    except (OSError, SyntaxError, ValueError, Image.DecompressionBombError) as error:
        # ValueError: a text chunk that inflates past Pillow's limit, among others.
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
    image = Image.new("P", (PNG_WIDTH, MAX_COLORS // PNG_WIDTH))
    image.putpalette(bytes(value for c in colors for value in c[:3]), "RGB")
    image.putdata([index if index < len(colors) else 0 for index in range(MAX_COLORS)])
    options = {}
    if any(c[3] != OPAQUE for c in colors):
        options["transparency"] = bytes(c[3] for c in colors)
    atomic_file.write_image(path, image, **options)
    return None


READ = PaletteFormat("image", read, recognise=lambda data, suffix: data.startswith(SIGNATURES),
                     read_extensions=(".png", ".gif", ".bmp"))
WRITE = PaletteFormat("png-palette", write=write_png_palette)
