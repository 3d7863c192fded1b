"""Rendered frames as Pillow images, and the one way the tool writes an image."""

from __future__ import annotations

import os

from PIL import Image

from ravir_tools import atomic_file


def frame_image(frame, scale: int = 1) -> Image.Image:
    """The RGBA image of a rendered frame, enlarged `scale` times without smoothing.
    A frame without pixels becomes an image of size 0."""
    if frame.width == 0 or frame.height == 0:
        return Image.new("RGBA", (frame.width * scale, frame.height * scale))
    image = Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels)
    if scale == 1:
        return image
    return image.resize((frame.width * scale, frame.height * scale), Image.Resampling.NEAREST)


def save_image(image: Image.Image, path: str | os.PathLike, format: str = "PNG", **options) -> None:
    """Writes `image` to `path` in one step: the previous file stays whole until the
    new one is complete. `options` are Pillow's, for the format."""
    with atomic_file.replacing(path) as stream:
        image.save(stream, format=format, **options)
