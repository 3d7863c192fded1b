"""The pixels of two frames that draw differently, each frame's top-left corner on
the other's (their offsets are compared as fields): a pixel changed when it draws
another index, is drawn where the other has a gap or the reverse, or when one frame
is a shadow frame and the other is not and either draws it."""

from __future__ import annotations

from dataclasses import dataclass

from PIL import Image, ImageChops

from ravir_tools.frames.byte_tables import TO_FULL
from ravir_tools.frames.images import fitted_image
from ravir_tools.frames.indexed import FramePixels

Box = tuple[int, int, int, int]  # x, y, width, height


@dataclass
class PixelChange:
    count: int
    box: Box | None  # around the changed pixels; None when there are none
    marks: Image.Image | None  # "L", 255 at each changed pixel, on a canvas that holds both frames


NONE = PixelChange(0, None, None)


def canvas_size(a: FramePixels | None, b: FramePixels | None) -> tuple[int, int]:
    frames = [frame for frame in (a, b) if frame is not None]
    return max(frame.width for frame in frames), max(frame.height for frame in frames)


def changed_pixels(a: FramePixels | None, b: FramePixels | None) -> PixelChange:
    """The pixels that differ; a frame that is missing (added or removed) draws none."""
    if a is not None and b is not None and (a.width, a.height, a.shadow) == (b.width, b.height, b.shadow) \
            and a.drawn == b.drawn and a.indices == b.indices:
        return NONE
    size = canvas_size(a, b)
    drawn_a, indices_a = layers(a, size)
    drawn_b, indices_b = layers(b, size)
    if a is not None and b is not None and a.shadow != b.shadow:
        marks = ImageChops.lighter(drawn_a, drawn_b)
    else:
        # Gaps hold index 0 in both, so the indices differ only where something is drawn.
        other_index = ImageChops.difference(indices_a, indices_b).point(TO_FULL)
        marks = ImageChops.lighter(ImageChops.difference(drawn_a, drawn_b), other_index)
    count = size[0] * size[1] - marks.histogram()[0]
    if count == 0:
        return NONE
    left, top, right, bottom = marks.getbbox()
    return PixelChange(count, (left, top, right - left, bottom - top), marks)


def layers(frame: FramePixels | None, size: tuple[int, int]) -> tuple[Image.Image, Image.Image]:
    """Which pixels `frame` draws (255) and their indices, on a canvas of `size`."""
    if frame is None or not (frame.width and frame.height):
        return Image.new("L", size), Image.new("L", size)
    own = (frame.width, frame.height)
    return (fitted_image(Image.frombytes("L", own, frame.drawn.translate(TO_FULL)), size),
            fitted_image(Image.frombytes("L", own, frame.indices), size))
