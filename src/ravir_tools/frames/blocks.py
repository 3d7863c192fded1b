"""Frames read back from a render enlarged N times (`--scale N`), where each pixel is
a block of N x N. An editor may paint any pixel of a block, a corner as well as its
center: a block whose pixels disagree is read as the one value among them that
differs from the frame as it was rendered, the edit. A block holding two different
edits, or whose pixels disagree when the frame as rendered is not known, cannot be
read."""

from __future__ import annotations

import re

from PIL import Image, ImageChops

from ravir_tools.frames.color_lookup import differs


class MixedBlock(Exception):
    def __init__(self, x: int, y: int, scale: int, known: bool):
        why = ("holds two different edits" if known else
               "holds different values, and without its source animation as rendered pack cannot tell the edit")
        super().__init__(f"the {scale}x{scale} block at ({x * scale}, {y * scale}) {why}: paint each block in one "
                         "value")


def reduced(image: Image.Image, scale: int, original: Image.Image | None) -> Image.Image:
    """`image` ("L" or "RGBA", `scale` times the frame's size) at the frame's size,
    each block the value of its pixels that differ from `original` (the frame as
    rendered, in the same mode) or, where none does, the original's. Raises
    MixedBlock for the first block, in reading order, that cannot be read."""
    samples = [sample(image, scale, i, j) for j in range(scale) for i in range(scale)]
    if original is None:
        for other in samples[1:]:
            check_clear(differs(other, samples[0]), scale, known=False)
        return samples[0]
    result, taken = original.copy(), Image.new("L", original.size)
    for other in samples:
        changed = differs(other, original)
        check_clear(ImageChops.multiply(ImageChops.multiply(changed, taken), differs(other, result)), scale, True)
        result.paste(other, mask=changed)
        taken = ImageChops.lighter(taken, changed)
    return result


def sample(image: Image.Image, scale: int, i: int, j: int) -> Image.Image:
    """The pixel at (i, j) of every block: one image of the frame's size."""
    width, height = image.width // scale, image.height // scale
    values = memoryview(image.tobytes())
    if image.mode == "RGBA":
        values = values.cast("I")
    rows = (values[(y * scale + j) * image.width + i:(y * scale + j + 1) * image.width:scale] for y in range(height))
    return Image.frombytes(image.mode, (width, height), b"".join(row.tobytes() for row in rows))


def check_clear(mask: Image.Image, scale: int, known: bool) -> None:
    if mask.getbbox() is None:
        return
    first = re.search(rb"[^\x00]", mask.tobytes()).start()
    raise MixedBlock(first % mask.width, first // mask.width, scale, known)
