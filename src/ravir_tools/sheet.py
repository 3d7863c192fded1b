"""One sprite sheet of all frames and the atlas that says where each one lies.

Frames sit in a grid of equal cells, as wide and high as the largest frame, each
in the top-left corner of its cell, row by row."""

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
    return (columns * cell_w, rows * cell_h), corners


def build(images: list[Image.Image], frames: list) -> tuple[Image.Image, list[dict]]:
    """The sheet, and the atlas entry of each frame: its rectangle on the sheet (in
    sheet pixels) and its offsets as the file stores them (not scaled)."""
    size, corners = layout([image.size for image in images])
    sheet = Image.new("RGBA", (max(size[0], 1), max(size[1], 1)))
    entries = []
    for index, (image, (x, y), frame) in enumerate(zip(images, corners, frames)):
        if image.width and image.height:
            sheet.paste(image, (x, y))
        entries.append({"index": index, "x": x, "y": y, "w": image.width, "h": image.height,
                        "offset_x": frame.x_offset, "offset_y": frame.y_offset,
                        "shadow": bool(frame.is_shadow)})
    return sheet, entries
