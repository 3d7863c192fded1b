"""Where each frame lies on a sprite sheet, and the sheet drawn from the frames.

Packed, the default: each frame in a cell of its own size, placed by a skyline
packer (as texture packers do) with `padding` pixels between cells, the sheet as
small as the packer finds among a few widths, or as wide as asked. A grid: cells
as wide and high as the largest frame, row by row, as sprite tools that cut a
sheet into equal tiles expect. Where each frame lies is written in the sheet's
atlas (exchange/atlas.py); the sizes are known before anything is drawn, so that
the sheet's size can be checked first."""

from __future__ import annotations

import math
from dataclasses import dataclass

from PIL import Image

from ravir_tools.errors import UsageError

LAYOUTS = ("packed", "grid")
# Widths tried around the square root of the frames' area: the sheet whose area is
# least wins. Beyond this many frames one width is enough, and costs less.
WIDTH_FACTORS = (1.0, 1.15, 1.35, 1.6)
MANY_FRAMES = 2000

Size = tuple[int, int]
Corner = tuple[int, int]


@dataclass(frozen=True)
class SheetLayout:
    kind: str = "packed"
    padding: int = 1  # pixels between two cells
    width: int | None = None  # packed: the sheet's most width
    columns: int | None = None  # grid: cells per row

    def __post_init__(self):
        if self.kind == "packed" and self.columns is not None:
            raise UsageError("--columns sets the cells per row of --sheet-layout grid")
        if self.kind == "grid" and self.width is not None:
            raise UsageError("--sheet-width sets the width of --sheet-layout packed; a grid takes --columns")


def layout(sizes: list[Size], options: SheetLayout = SheetLayout()) -> tuple[Size, list[Corner]]:
    """The sheet's size (at least 1 x 1) and each frame's top-left corner. A frame of
    size 0 takes no room in a packed sheet: its corner is (0, 0). ValueError for a
    frame wider than the width asked for."""
    if options.kind == "grid":
        return grid(sizes, options.padding, options.columns)
    return packed(sizes, options.padding, options.width)


def grid(sizes: list[Size], padding: int, columns: int | None) -> tuple[Size, list[Corner]]:
    columns = columns or max(1, math.ceil(math.sqrt(len(sizes))))
    cell_w = max((w for w, _ in sizes), default=0) + padding
    cell_h = max((h for _, h in sizes), default=0) + padding
    corners = [((i % columns) * cell_w, (i // columns) * cell_h) for i in range(len(sizes))]
    used = min(columns, len(sizes))
    rows = math.ceil(len(sizes) / columns)
    return (max(used * cell_w - padding, 1), max(rows * cell_h - padding, 1)), corners


def packed(sizes: list[Size], padding: int, width: int | None) -> tuple[Size, list[Corner]]:
    placed = [i for i, (w, h) in enumerate(sizes) if w and h]
    corners: list[Corner] = [(0, 0)] * len(sizes)
    if not placed:
        return (1, 1), corners
    # Each cell carries the padding on its right and bottom; the sheet's edge drops it.
    cells = {i: (sizes[i][0] + padding, sizes[i][1] + padding) for i in placed}
    order = sorted(placed, key=lambda i: (-cells[i][1], -cells[i][0], i))
    widest = max(w for w, _ in cells.values())
    if width is not None:
        if widest - padding > width:
            frame = max(placed, key=lambda i: sizes[i][0])
            raise ValueError(f"frame {frame} is {sizes[frame][0]} pixels wide, wider than --sheet-width {width}")
        widths = [width + padding]
    else:
        area = sum(w * h for w, h in cells.values())
        factors = WIDTH_FACTORS if len(placed) <= MANY_FRAMES else WIDTH_FACTORS[:1]
        widths = sorted({max(widest, round(math.sqrt(area) * factor)) for factor in factors})
    best = None
    for limit in widths:
        found = _skyline([cells[i] for i in order], limit)
        right = max(x + cells[i][0] for i, (x, _) in zip(order, found)) - padding
        bottom = max(y + cells[i][1] for i, (_, y) in zip(order, found)) - padding
        # The least area, then the squarer sheet.
        score = (right * bottom, abs(right - bottom))
        if best is None or score < best[0]:
            best = (score, (right, bottom), found)
    _, size, found = best
    for i, corner in zip(order, found):
        corners[i] = corner
    return size, corners


def _skyline(cells: list[Size], width: int) -> list[Corner]:
    """Bottom-left skyline packing: each cell, in turn, goes where its top edge is
    lowest (then leftmost) on the outline the cells before it left. `width` holds
    the widest cell."""
    outline = [(0, 0, width)]  # segments (x, y, width), left to right
    corners = []
    for w, h in cells:
        best = None
        for start in range(len(outline)):
            x = outline[start][0]
            if x + w > width:
                break
            y, covered, end = 0, 0, start
            while covered < w:
                y = max(y, outline[end][1])
                covered += outline[end][2]
                end += 1
            if best is None or y + h < best[0]:
                best = (y + h, x, y)
        _, x, y = best
        corners.append((x, y))
        outline = _raised(outline, x, w, y + h)
    return corners


def _raised(outline: list[tuple[int, int, int]], x: int, w: int, top: int) -> list[tuple[int, int, int]]:
    """The outline with the span x .. x + w raised to `top`, neighbours of one height merged."""
    pieces = []
    for sx, sy, sw in outline:
        if sx < x:
            pieces.append((sx, sy, min(sw, x - sx)))
        if sx + sw > x + w:
            start = max(sx, x + w)
            pieces.append((start, sy, sx + sw - start))
    pieces.append((x, top, w))
    pieces.sort()
    merged = [pieces[0]]
    for sx, sy, sw in pieces[1:]:
        px, py, pw = merged[-1]
        if py == sy:
            merged[-1] = (px, py, pw + sw)
        else:
            merged.append((sx, sy, sw))
    return merged


def compose(canvas: Image.Image, images: list[Image.Image], corners: list[Corner]) -> Image.Image:
    """`images` pasted whole onto `canvas` at their corners."""
    for image, corner in zip(images, corners):
        if image.width and image.height:
            canvas.paste(image, corner)
    return canvas
