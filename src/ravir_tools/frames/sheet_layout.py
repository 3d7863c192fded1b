"""Where each frame lies on a sprite sheet, and the sheet drawn from the frames.

Frames sit in a grid of equal cells, as wide and high as the largest frame, each
in the top-left corner of its cell, row by row. Where each lies is written in the
sheet's atlas (exchange/atlas.py)."""

from __future__ import annotations

import math

from PIL import Image


def layout(sizes: list[tuple[int, int]]) -> tuple[tuple[int, int], list[tuple[int, int]]]:
    """The sheet's size and each frame's top-left corner."""
    columns = max(1, math.ceil(math.sqrt(len(sizes))))
    cell_w = max((w for w, _ in sizes), default=0)
    cell_h = max((h for _, h in sizes), default=0)
    corners = [((i % columns) * cell_w, (i // columns) * cell_h) for i in range(len(sizes))]
    rows = math.ceil(len(sizes) / columns)
    return (max(columns * cell_w, 1), max(rows * cell_h, 1)), corners


def compose(canvas: Image.Image, images: list[Image.Image], corners: list[tuple[int, int]]) -> Image.Image:
    """`images` pasted whole onto `canvas` at their corners."""
    for image, corner in zip(images, corners):
        if image.width and image.height:
            canvas.paste(image, corner)
    return canvas
