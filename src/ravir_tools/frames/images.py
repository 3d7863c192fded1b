"""Rendered frames as Pillow images, and the one way the tool opens an image file."""

from __future__ import annotations

import io
from pathlib import Path
from typing import BinaryIO

from PIL import BmpImagePlugin, GifImagePlugin, Image, PngImagePlugin

from ravir_tools.errors import ToolError
from ravir_tools.input_files import check_readable
from ravir_tools import limits

# Opened through their plugins, so that the size is checked against the tool's own
# limit instead of Pillow's process-wide one; other formats go through Image.open.
_OPENERS = {b"\x89PNG\r\n\x1a\n": PngImagePlugin.PngImageFile, b"GIF87a": GifImagePlugin.GifImageFile,
            b"GIF89a": GifImagePlugin.GifImageFile, b"BM": BmpImagePlugin.BmpImageFile}


# What Pillow raises for a damaged image, as it opens or loads it: SyntaxError for a
# broken chunk, ValueError for a text chunk that inflates past its limit, and so on.
UNREADABLE = (OSError, SyntaxError, ValueError, EOFError, Image.DecompressionBombError)


def rgba_image(frame, scale: int = 1) -> Image.Image:
    """The RGBA image of a rendered frame, enlarged `scale` times without smoothing.
    A frame without pixels becomes an image of size 0."""
    if frame.width == 0 or frame.height == 0:
        return Image.new("RGBA", (frame.width * scale, frame.height * scale))
    return scaled(Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels), scale)


def scaled(image: Image.Image, scale: int) -> Image.Image:
    """`image` enlarged `scale` times, each pixel a block of its own value."""
    if scale == 1:
        return image
    return image.resize((image.width * scale, image.height * scale), Image.Resampling.NEAREST)


def fitted_image(image: Image.Image, size: tuple[int, int]) -> Image.Image:
    """`image` cut or grown to `size` from its top-left corner, as an editor resizes a
    canvas: what it gains is zero (transparent, or a gap)."""
    if image.size == size:
        return image
    grown = Image.new(image.mode, size)
    grown.paste(image)
    return grown


def png_bytes(image: Image.Image, **options) -> bytes:
    """`image` encoded as a PNG; `options` are Pillow's for PNG."""
    stream = io.BytesIO()
    image.save(stream, format="PNG", **options)
    return stream.getvalue()


def open_image(path: Path, limit: limits.PixelLimit = limits.PixelLimit(), warn=None) -> Image.Image:
    """The image at `path`, its header read and its pixels not yet; refused when it
    has more pixels than `limit` allows (`warn` hears of one above half of it)."""
    check_readable(path)
    return image_from(path, path, limit, warn)


def image_from(source: Path | BinaryIO, name: Path, limit: limits.PixelLimit, warn=None) -> Image.Image:
    """The image in `source`, a file's path or its bytes, as open_image gives it;
    `name` names it in messages."""
    try:
        if isinstance(source, Path):
            with open(source, "rb") as stream:
                signature = stream.read(8)
        else:
            signature = source.read(8)
            source.seek(0)
        opener = next((opener for start, opener in _OPENERS.items() if signature.startswith(start)), Image.open)
        image = opener(source)
    except UNREADABLE as error:
        raise ToolError(name, f"cannot read the image: {error}") from None
    try:
        limit.check(name, "the image read", image.width, image.height, warn)
    except ToolError:
        image.close()
        raise
    return image


def loaded(image: Image.Image, name: Path) -> Image.Image:
    """`image` with its pixels read; ToolError naming it when they cannot be."""
    try:
        image.load()
    except UNREADABLE as error:
        raise ToolError(name, f"cannot read the image: {error}") from None
    return image
