"""Animated previews: every frame drawn on one canvas, aligned by its offsets.

The convention: a frame's offsets place its top-left corner relative to a common
origin, so pixel (x, y) of a frame lands at (offset_x + x, offset_y + y). With the
sign flipped, the offsets give the origin's place inside the frame instead (a hot
spot), and pixel (x, y) lands at (x - offset_x, y - offset_y). The canvas is the
smallest rectangle that holds every frame so placed. An animation with a background
shows it behind each of its other frames.

A preview is written one shot at a time (gif.py, apng.py): each shot redraws only
the part of the canvas its frames cover, the canvas being cleared between shots, so
that no more than one canvas is ever held. Sizes are all known before anything is
drawn."""

from __future__ import annotations

from dataclasses import dataclass

Box = tuple[int, int, int, int]  # left, top, width, height on the canvas


def placement(sizes: list[tuple[int, int]], frames: list, scale: int,
              flip: bool) -> tuple[tuple[int, int], list[tuple[int, int] | None]] | None:
    """The canvas's size and each frame's top-left corner on it (None for a frame of
    size 0), or None when no frame has pixels. `sizes` are the frames' images' sizes."""
    sign = -1 if flip else 1
    corners = [(sign * f.x_offset * scale, sign * f.y_offset * scale) for f in frames]
    drawn = {i for i, (width, height) in enumerate(sizes) if width and height}
    if not drawn:
        return None
    left = min(corners[i][0] for i in drawn)
    top = min(corners[i][1] for i in drawn)
    right = max(corners[i][0] + sizes[i][0] for i in drawn)
    bottom = max(corners[i][1] + sizes[i][1] for i in drawn)
    placed = [(x - left, y - top) if i in drawn else None for i, (x, y) in enumerate(corners)]
    return (right - left, bottom - top), placed


def sequence(count: int, background: bool) -> tuple[range, int | None]:
    """The frames shown one after another, and the frame drawn behind each of them."""
    if background and count > 1:
        return range(count - 1), count - 1
    return range(count), None


@dataclass(frozen=True)
class Shot:
    """One frame of a preview: the part of the canvas it draws, and the frames drawn
    there, back to front. The first shot covers the whole canvas."""

    box: Box
    layers: list[int]


@dataclass(frozen=True)
class Preview:
    size: tuple[int, int]
    corners: list[tuple[int, int] | None]
    shots: list[Shot]
    behind: int | None  # the frame drawn behind each shot, when it has pixels


def preview(sizes: list[tuple[int, int]], frames: list, background: bool, scale: int, flip: bool) -> Preview | None:
    """The canvas, each frame's corner and the shots of the preview of frames of
    `sizes` (scaled already); None when no frame has pixels."""
    layout = placement(sizes, frames, scale, flip)
    if layout is None:
        return None
    size, corners = layout
    shown, behind = sequence(len(frames), background)
    if behind is not None and corners[behind] is None:
        behind = None
    shots = []
    for number, index in enumerate(shown):
        layers = [i for i in (behind, index) if i is not None and corners[i] is not None]
        box = (0, 0, *size) if number == 0 else _around(layers, corners, sizes)
        shots.append(Shot(box, layers))
    return Preview(size, corners, shots, behind)


def _around(layers: list[int], corners: list, sizes: list[tuple[int, int]]) -> Box:
    """The smallest box holding the layers; one pixel at the corner when there are
    none, since a shot has at least one pixel."""
    if not layers:
        return (0, 0, 1, 1)
    left = min(corners[i][0] for i in layers)
    top = min(corners[i][1] for i in layers)
    right = max(corners[i][0] + sizes[i][0] for i in layers)
    bottom = max(corners[i][1] + sizes[i][1] for i in layers)
    return (left, top, right - left, bottom - top)
