"""Rendered frames as Pillow images, and the one way the tool opens an image file."""

from __future__ import annotations

import io
from pathlib import Path

from PIL import BmpImagePlugin, GifImagePlugin, Image, PngImagePlugin, UnidentifiedImageError

from ravir_tools.errors import ToolError, check_readable
from ravir_tools import limits

# Opened through their plugins, so that the size is checked against the tool's own
# limit instead of Pillow's process-wide one; other formats go through Image.open.
_OPENERS = {b"\x89PNG\r\n\x1a\n": PngImagePlugin.PngImageFile, b"GIF87a": GifImagePlugin.GifImageFile,
            b"GIF89a": GifImagePlugin.GifImageFile, b"BM": BmpImagePlugin.BmpImageFile}


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


def png_bytes(image: Image.Image, **options) -> bytes:
    """`image` encoded as a PNG; `options` are Pillow's for PNG."""
    stream = io.BytesIO()
    image.save(stream, format="PNG", **options)
    return stream.getvalue()


def open_image(path: Path, max_pixels: int = limits.MAX_FRAME_PIXELS) -> Image.Image:
    """The image at `path`, its header read and its pixels not yet; refused when it
    has more than `max_pixels` pixels."""
    check_readable(path)
    try:
        with open(path, "rb") as stream:
            signature = stream.read(8)
        opener = next((opener for start, opener in _OPENERS.items() if signature.startswith(start)), Image.open)
        image = opener(path)
    except (OSError, SyntaxError, ValueError, UnidentifiedImageError, Image.DecompressionBombError) as error:
        raise ToolError(path, f"cannot read the image: {error}") from None
    if image.width * image.height > max_pixels:
        image.close()
        raise ToolError(path, f"cannot read the image: it is {image.width}x{image.height}, more than the "
                              f"{max_pixels} pixels it may have")
    return image
