"""An animation as an indexed Aseprite document, laid out as layout.py
tells, for `ravir render --aseprite`. Cels hold the indices the frames draw, as the
indexed PNGs do: shadow frames in the palette's darkest entry, gaps in the gap index,
and every other index shown opaque."""

from __future__ import annotations

import itertools

from ravir_tools import durations, limits
from ravir_tools.animation import Animation
from ravir_tools.aseprite import layout
from ravir_tools.aseprite.document import Cel, Document, Frame, Layer, LayerFlag, Tag
from ravir_tools.aseprite.layout import BACKGROUND, FRAMES, GAP_MASK, SHADOWS
from ravir_tools.errors import ToolError
from ravir_tools.exchange.manifest import Manifest
from ravir_tools.frames import indexed, preview
from ravir_tools.palettes.colors import colors_of

MAX_CANVAS = 0xFFFF
SHOWN = LayerFlag.VISIBLE | LayerFlag.EDITABLE
TAG_COLORS = {FRAMES: (84, 132, 228), SHADOWS: (96, 96, 96), BACKGROUND: (92, 168, 92)}


def document(anim: Animation, described: Manifest) -> tuple[Document, list[str]]:
    """The document of `anim`, whose facts `described` holds, and what the user
    should be told about it."""
    count = len(anim.frames)
    if count > layout.MAX_FRAMES:
        raise ToolError(anim.path, f"has {count} frames, more than the {layout.MAX_FRAMES} of an Aseprite document")
    colors = colors_of(anim.data.palette)
    shadow_index = indexed.darkest(colors)
    pixels = [indexed.frame_pixels(anim.data, i) for i in range(count)]
    # Aseprite shows the transparent index as a gap in every frame, even in one without gaps.
    gap, needs_mask = indexed.choose_gap(indexed.used_counts(pixels, shadow_index), True)
    size, origin, fits = canvas(described)
    roles = [BACKGROUND if described.background and i == count - 1 else SHADOWS if frame.shadow else FRAMES
             for i, frame in enumerate(pixels)]
    # With all 256 indices drawn, some frame draws the gap index.
    used = set(roles) | {FRAMES} | ({GAP_MASK} if needs_mask else set())
    layers = [Layer(role, SHOWN if role != GAP_MASK else 0, user_data=layout.user_data("layer", role=role))
              for role in layout.ROLES if role in used]
    index = {layer.name: number for number, layer in enumerate(layers)}
    duration = durations.duration_ms(described.speed)
    frames = []
    for role, entry, frame in zip(roles, described.frames, pixels):
        corner = (entry.x_offset - origin[0], entry.y_offset - origin[1])
        x, y = (min(max(v, limits.OFFSETS.start), limits.OFFSETS.stop - 1) for v in corner)
        if frame.width and frame.height:
            image = indexed.indexed_image(frame, colors, gap, shadow_index).tobytes()
            width, height = frame.width, frame.height
            fits = fits and (x, y) == corner
        else:
            image, width, height = bytes([gap]), 1, 1  # it carries the frame's facts
        facts = layout.user_data("frame", width=frame.width, height=frame.height, offset_x=entry.x_offset,
                                 offset_y=entry.y_offset, shadow=entry.shadow, cel=[x, y, width, height])
        cels = [Cel(index[role], x, y, width, height, image, user_data=facts)]
        marks = gap_marks(image, frame.drawn, gap) if needs_mask else None
        if marks is not None:
            cels.append(Cel(index[GAP_MASK], x, y, width, height, marks))
        frames.append(Frame(duration, cels))

    warnings = []
    if not fits:
        warnings.append(f"its frames span more than an Aseprite document places exactly (positions of -32768 to "
                        f"32767 on a canvas of at most {MAX_CANVAS} pixels): some cels lie only as near their place as "
                        "that allows; pack reads the exact offsets from their user data")
    if GAP_MASK in used:
        warnings.append(f"its frames draw all 256 indices: Aseprite shows their pixels of index {gap} as "
                        f"transparent too; the hidden layer '{GAP_MASK}' tells them apart for pack")
    facts = layout.user_data(
        "animation", version=layout.VERSION, speed=described.speed, duration_ms=duration,
        durations=durations.RULE, background=described.background, origin=list(origin), gap_index=gap,
        palette={"location": described.palette_location,
                 "file": str(described.palette_file) if described.palette_file else None},
        source={"file": str(described.source) if described.source else None, "sha256": described.source_sha256})
    # Shown opaque, whatever the palette's fourth byte: the transparent index alone is a gap.
    palette = [(r, g, b, 255) for r, g, b, _ in colors]
    return Document(size[0], size[1], palette, layers, frames, runs(roles), transparent_index=gap,
                    user_data=facts), warnings


def runs(roles: list[str]) -> list[Tag]:
    """A tag for each run of frames on one layer."""
    tags = []
    for role, run in itertools.groupby(range(len(roles)), roles.__getitem__):
        frames = list(run)
        tags.append(Tag(frames[0], frames[-1], role, color=TAG_COLORS[role]))
    return tags


def canvas(described: Manifest) -> tuple[tuple[int, int], tuple[int, int], bool]:
    """The canvas's size, the offsets at its pixel (0, 0), and whether every frame
    fits on it."""
    frames = described.frames
    placed = preview.placement([(f.width, f.height) for f in frames], frames, 1, False)
    if placed is None:
        return (1, 1), (0, 0), True
    (width, height), corners = placed
    first = next(i for i, corner in enumerate(corners) if corner is not None)
    origin = (frames[first].x_offset - corners[first][0], frames[first].y_offset - corners[first][1])
    return (min(width, MAX_CANVAS), min(height, MAX_CANVAS)), origin, max(width, height) <= MAX_CANVAS


def gap_marks(image: bytes, drawn: bytes, gap: int) -> bytes | None:
    """The gap mask's cel for a frame: another index where the frame draws the gap
    index, the gap index elsewhere; None when it draws none."""
    holds_gap = image.translate(bytes(int(i == gap) for i in range(256)))
    marked = (int.from_bytes(holds_gap) & int.from_bytes(drawn)).to_bytes(len(image))
    if 1 not in marked:
        return None
    return marked.translate(bytes([gap, (gap + 1) % 256]) + bytes(254))
