"""Fuzz targets of the tools' readers, each given bytes in memory: what a mod's
download may hold where the tools expect a manifest or atlas, a PNG frame, an
Aseprite document, a palette in any format, or an animation opened with Pillow.

A target returns when the tools accept its input or refuse it the way a command
does (a ToolError, one line naming the file); any other exception is a finding.
Time and memory are bounded by the runner (fuzz/tools/run.py), and the limits here
are the tools' own, lowered so that each input is quick."""

from __future__ import annotations

import io
import tempfile
import warnings
from pathlib import Path

from PIL import Image, UnidentifiedImageError

import ravir_tools.pillow  # noqa: F401  registers the format
from ravir_tools import limits
from ravir_tools.aseprite import from_document
from ravir_tools.aseprite.document import DocumentError
from ravir_tools.aseprite.reader import read_document
from ravir_tools.errors import ToolError
from ravir_tools.exchange import png_chunks
from ravir_tools.exchange.described import described
from ravir_tools.exchange.json_files import parse_json
from ravir_tools.frames.color_lookup import BadColor, PaletteIndex, from_indices
from ravir_tools.frames.images import image_from, loaded
from ravir_tools.pack_inputs import PackOptions, read_offsets
from ravir_tools.palettes.registry import palette_from_bytes

LIMIT = limits.PixelLimit(1 << 22)
COLORS = [(i, 255 - i, i // 2, 255) for i in range(256)]
PALETTE_NAMES = [Path(f"fuzzed{suffix}") for suffix in (".pal", ".gpl", ".act", ".png", ".txt")]


def manifest(data: bytes) -> None:
    """A manifest or atlas, and the same JSON given as --offsets."""
    path = Path("fuzzed.json")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return  # refused by load_json before it parses
    frames = []
    try:
        frames = described(path, parse_json(text, path)).frames
    except ToolError:
        pass
    if text.lstrip()[:1] in ("[", "{"):  # given inline, not naming a file
        try:
            read_offsets(PackOptions([], Path("out.orv"), offsets=text), frames)
        except ToolError:
            pass


def png_frame(data: bytes) -> None:
    """A frame's image as pack reads it: its size checked, its own description, its
    pixels as palette indices."""
    path = Path("fuzzed.png")
    stream = io.BytesIO(data)
    try:
        image = image_from(stream, path, LIMIT)
    except ToolError:
        return
    with image:
        png_chunks.self_description(image, path, stream)
        try:
            loaded(image, path)
        except ToolError:
            return
        try:
            if image.mode == "P":
                from_indices(image, 0, None, False)
            else:
                PaletteIndex(COLORS, False).index(image)
        except BadColor:
            pass


def aseprite(data: bytes) -> None:
    """A document as pack reads it, whether ravir wrote it or not."""
    try:
        from_document.imported(Path("fuzzed.aseprite"), read_document(data, max_pixel_bytes=LIMIT.max_pixels),
                               LIMIT)
    except (DocumentError, ToolError):
        pass


def palette(data: bytes) -> None:
    """A palette under each name its format may be told by."""
    for path in PALETTE_NAMES:
        try:
            colors = palette_from_bytes(path, data).colors
        except ToolError:
            continue
        assert 1 <= len(colors) <= 256, (path, len(colors))
        assert all(len(color) == 4 and all(0 <= value <= 255 for value in color) for color in colors), path


_scratch: Path | None = None


def pillow(data: bytes) -> None:
    """An animation opened with Pillow by its path (the plugin finds the palette from
    its folder), and every frame seeked to and loaded."""
    global _scratch
    if _scratch is None:
        _scratch = Path(tempfile.mkdtemp(prefix="ravir-fuzz-", dir="/dev/shm" if Path("/dev/shm").is_dir() else None))
        (_scratch / "pal").mkdir()
        (_scratch / "anim").mkdir()
        (_scratch / "pal" / "a.pal").write_bytes(b"\0\1\0\0" + bytes(c for color in COLORS for c in color))
        Image.MAX_IMAGE_PIXELS = LIMIT.max_pixels // 2
    path = _scratch / "anim" / "fuzzed.orv"
    path.write_bytes(data)
    try:
        with warnings.catch_warnings(action="ignore", category=Image.DecompressionBombWarning), \
                Image.open(path, formats=["ORV"]) as image:
            for index in range(image.n_frames):
                image.seek(index)
                image.load()
    except (UnidentifiedImageError, OSError, Image.DecompressionBombError):
        pass


TARGETS = {"tools_manifest": manifest, "tools_png": png_frame, "tools_aseprite": aseprite, "tools_palette": palette,
           "tools_pillow": pillow}
