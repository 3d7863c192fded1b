"""One sprite sheet of all frames and the atlas that says where each one lies.

Frames sit in a grid of equal cells, as wide and high as the largest frame, each
in the top-left corner of its cell, row by row. The atlas is TexturePacker's "JSON
(Hash)", which game engines import, with Aseprite's frame tags; what ravir needs to
pack the sheet back goes under its `ravir` key (manifest.sheet_json)."""

from __future__ import annotations

import math

from PIL import Image

import ravir


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


def atlas(names: list[str | None], images: list[Image.Image], corners: list[tuple[int, int]], *,
          animation: str, sheet_name: str, size: tuple[int, int], scale: int, indexed: bool,
          duration: int, background: bool) -> dict:
    """The TexturePacker part: one entry per frame with pixels, keyed by its name, and
    a tag for the animation's frames (and one for its background frame)."""
    frames = {}
    for name, image, (x, y) in zip(names, images, corners):
        if name is None:
            continue
        w, h = image.size
        frames[name] = {"frame": {"x": x, "y": y, "w": w, "h": h}, "rotated": False, "trimmed": False,
                        "spriteSourceSize": {"x": 0, "y": 0, "w": w, "h": h}, "sourceSize": {"w": w, "h": h},
                        "duration": duration}
    listed = [name for name in names if name is not None]
    drawn_background = background and bool(names) and names[-1] is not None
    tags = []
    if len(listed) > drawn_background:
        tags.append({"name": animation, "from": 0, "to": len(listed) - 1 - drawn_background,
                     "direction": "forward", "color": "#000000ff"})
    if drawn_background:
        tags.append({"name": "background", "from": len(listed) - 1, "to": len(listed) - 1,
                     "direction": "forward", "color": "#000000ff"})
    meta = {"app": "ravir", "version": ravir.__version__, "image": sheet_name,
            "format": "I8" if indexed else "RGBA8888", "size": {"w": size[0], "h": size[1]},
            "scale": str(scale), "frameTags": tags}
    return {"frames": frames, "meta": meta}
