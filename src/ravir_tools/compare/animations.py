"""What differs between two animations, in the order a modder reads it: the header,
each frame, then the palettes. Only what the files draw counts: two files whose runs
are laid out otherwise, or whose frames' frame_size, unk1 and unk2 differ, draw the same.

Frames are paired by their number, except the background frames, which are paired
with each other wherever they stand, so that a frame added before the background
does not make the background look changed."""

from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

from ravir_tools.animation import Animation
from ravir_tools.compare.palettes import EntryChange, changed_entries
from ravir_tools.compare.pixels import Box, PixelChange, changed_pixels
from ravir_tools.frames.indexed import frame_pixels
from ravir_tools.limits import PixelLimit
from ravir_tools.palettes.colors import colors_of

FRAME_FIELDS = ("width", "height", "offset_x", "offset_y", "shadow")


@dataclass
class FrameChange:
    a: int | None  # the frame's number in each animation; None where it is missing
    b: int | None
    background: bool
    fields_a: dict | None  # width, height, offsets and shadow flag; None where the frame is missing
    fields_b: dict | None
    pixels: int = 0
    box: Box | None = None
    image: Path | None = None  # the picture of the change, when one was drawn

    @property
    def fields(self) -> dict[str, tuple]:
        """(a's, b's) for each field that differs; for a frame added or removed, every field."""
        return differing(self.fields_a or dict.fromkeys(FRAME_FIELDS), self.fields_b or dict.fromkeys(FRAME_FIELDS))


@dataclass
class AnimationChange:
    a: Path
    b: Path
    header: dict[str, tuple] = field(default_factory=dict)  # name: (a's, b's), for those that differ
    frames: list[FrameChange] = field(default_factory=list)  # those that differ
    palette: list[EntryChange] | None = None  # None when they could not be compared
    palette_files: tuple[str, str] = ("", "")

    @property
    def same(self) -> bool:
        return not (self.header or self.frames or self.palette)


# Draws the picture of a changed frame from its change and the changed pixels; returns its path.
Picture = Callable[[FrameChange, PixelChange], Path]


def header(anim: Animation) -> dict:
    info = anim.data.info
    return {"speed": info.speed, "background": anim.data.has_background, "palette_location": anim.location,
            "frame_count": info.frame_count}


def frame_fields(anim: Animation, index: int) -> dict:
    frame = anim.frames[index]
    return {"width": frame.width, "height": frame.height, "offset_x": frame.x_offset, "offset_y": frame.y_offset,
            "shadow": bool(frame.is_shadow)}


def differing(a: dict, b: dict) -> dict[str, tuple]:
    return {name: (a[name], b[name]) for name in a if a[name] != b[name]}


def pairs(a: Animation, b: Animation) -> list[tuple[int | None, int | None, bool]]:
    """(a's frame, b's frame, whether they are the backgrounds), in b's order."""
    count_a = len(a.frames) - a.data.has_background
    count_b = len(b.frames) - b.data.has_background
    found = [(i if i < count_a else None, i if i < count_b else None, False) for i in range(max(count_a, count_b))]
    if a.data.has_background or b.data.has_background:
        found.append((count_a if a.data.has_background else None, count_b if b.data.has_background else None, True))
    return found


def compare(a: Animation, b: Animation, limit: PixelLimit, picture: Picture | None = None) -> AnimationChange:
    """What differs from `a` to `b`. Each frame pair is refused (ToolError) before it is
    read when the canvas holding both would pass `limit`."""
    change = AnimationChange(a.path, b.path, header=differing(header(a), header(b)))
    for index_a, index_b, background in pairs(a, b):
        fields_a = frame_fields(a, index_a) if index_a is not None else None
        fields_b = frame_fields(b, index_b) if index_b is not None else None
        present = [fields for fields in (fields_a, fields_b) if fields is not None]
        subject, number = (b.path, index_b) if index_b is not None else (a.path, index_a)
        limit.check(subject, f"the comparison of frame {number}", max(f["width"] for f in present),
                    max(f["height"] for f in present))
        pixels = changed_pixels(frame_pixels(a.data, index_a) if index_a is not None else None,
                                frame_pixels(b.data, index_b) if index_b is not None else None)
        frame = FrameChange(index_a, index_b, background, fields_a, fields_b, pixels.count, pixels.box)
        if not (frame.fields or pixels.count):
            continue
        if picture is not None and pixels.count:
            frame.image = picture(frame, pixels)
        change.frames.append(frame)
    if not (a.palette_error or b.palette_error):
        change.palette = changed_entries(colors_of(a.data.palette), colors_of(b.data.palette))
        change.palette_files = (a.palette_path, b.palette_path)
    return change
