"""Rendered frames as Pillow images."""

from __future__ import annotations

from PIL import Image


def frame_image(frame, scale: int = 1) -> Image.Image:
    """The RGBA image of a rendered frame, enlarged `scale` times without smoothing.
    A frame without pixels becomes an image of size 0."""
    if frame.width == 0 or frame.height == 0:
        return Image.new("RGBA", (frame.width * scale, frame.height * scale))
    image = Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels)
    if scale == 1:
        return image
    return image.resize((frame.width * scale, frame.height * scale), Image.Resampling.NEAREST)


def has_pixels(image: Image.Image) -> bool:
    return image.width > 0 and image.height > 0
