"""The frames of an indexed Aseprite document, for `ravir pack`: as `render
--aseprite` wrote it (layout.py), as Aseprite saved it after an edit, or
drawn from scratch.

A frame is the cel on a frame layer of its Aseprite frame; pixels of the
transparent index are gaps, except on a layer Aseprite treats as a background
(opaque everywhere) and where the gap mask marks them. With ravir's user data, a
cel keeps the facts of its frame:

- a cel of the size it was written at that moved (Aseprite's move tool) moves the
  frame's offsets by as much;
- a cel of another size is one Aseprite cut to its drawn pixels after an edit, or
  grew: the frame stays where it was, and grows to hold pixels drawn beyond it;
- a frame whose cel is gone (Aseprite drops a cel erased whole) has no pixels.

A cel without facts (a frame drawn in Aseprite, or a document drawn from scratch,
whose frames are the cels of its first visible layer) is a frame of its size at
the offsets of its place: its position plus the origin, (0, 0) from scratch.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path
from typing import NamedTuple

from PIL import Image, ImageChops

from ravir_tools import limits
from ravir_tools.aseprite import layout
from ravir_tools.aseprite.document import Cel, Document, DocumentError, LayerFlag, LayerType
from ravir_tools.aseprite.layout import BACKGROUND, FRAME_ROLES, GAP_MASK, SHADOWS
from ravir_tools.aseprite.reader import read_document
from ravir_tools.durations import MAX_DURATION_MS
from ravir_tools.errors import ToolError
from ravir_tools.input_files import read_whole
from ravir_tools.exchange.json_files import Fields
from ravir_tools.exchange.manifest import FrameEntry
from ravir_tools.frames.color_lookup import Indexed
ORIGINS = range(-(1 << 17), 1 << 17)  # offsets minus places on a canvas of at most 65535


@dataclass
class Imported:
    """What a document gives pack: each frame with its pixels, and the facts."""

    frames: list[FrameEntry]
    speed: int
    background: bool
    colors: list[tuple[int, int, int, int]]  # the document's palette
    palette_file: Path | None = None
    palette_location: str | None = None
    warnings: list[str] = field(default_factory=list)


class FrameFacts(NamedTuple):
    width: int
    height: int
    offset_x: int
    offset_y: int
    shadow: bool
    cel: tuple[int, int, int, int]  # the cel as written: x, y, width, height


def read(path: Path, limit: limits.PixelLimit) -> Imported:
    """What the document at `path` gives pack; no frame of it may have more pixels than `limit` allows."""
    return imported(path, load(path, limit), limit)


def imported(path: Path, doc: Document, limit: limits.PixelLimit) -> Imported:
    """What the document `doc`, read from `path`, gives pack."""
    sprite = layout.facts(doc.user_data, "animation")
    roles = [role_of(layer) for layer in doc.layers]
    if sprite is None and not any(roles):
        return from_scratch(path, doc, limit)
    # Aseprite before 1.3 keeps the user data of layers and cels, but drops the sprite's.
    return as_written(path, doc, roles, sprite or written_without(path, doc, roles), limit)


def load(path: Path, limit: limits.PixelLimit) -> Document:
    try:
        return read_document(read_whole(path, limits.MAX_DOCUMENT_BYTES), max_pixel_bytes=limit.max_pixels)
    except DocumentError as error:
        raise ToolError(path, str(error)) from None


def from_scratch(path: Path, doc: Document, limit: limits.PixelLimit) -> Imported:
    layer = first_visible(doc)
    if layer is None:
        raise ToolError(path, "has no visible layer to take the frames from")
    frames = Frames(path, doc, (0, 0), limit)
    entries = []
    for number, frame in enumerate(doc.frames):
        cel = next((cel for cel in frame.cels if cel.layer_index == layer), None)
        entries.append(frames.placed(number, cel, False) if cel else empty())
    return Imported(entries, layout.speed_of([frame.duration_ms for frame in doc.frames]), False, doc.palette)


def first_visible(doc: Document) -> int | None:
    """The first image layer shown, inside groups that are all shown."""
    shown_groups: list[bool] = []  # by child level, whether the group holding the layer there is shown
    for number, layer in enumerate(doc.layers):
        del shown_groups[layer.child_level:]
        shown = bool(layer.flags & LayerFlag.VISIBLE) and all(shown_groups)
        if layer.type == LayerType.GROUP:
            shown_groups.append(shown)
        elif shown and not layer.flags & LayerFlag.REFERENCE:
            return number
    return None


def written_without(path: Path, doc: Document, roles: list[str | None]) -> dict:
    """The facts of a document ravir wrote that lost its own user data, as far as its
    cels keep them: no palette, the speed of the durations, and the origin that the
    first cel with its frame's facts gives."""
    origin = [0, 0]
    for number, frame in enumerate(doc.frames):
        said = [frame_facts(path, number, layout.facts(cel.user_data, "frame"))
                for cel in frame.cels if roles[cel.layer_index] in FRAME_ROLES]
        if said and said[0] is not None:
            origin = [said[0].offset_x - said[0].cel[0], said[0].offset_y - said[0].cel[1]]
            break
    durations = [frame.duration_ms for frame in doc.frames]
    return {"version": layout.VERSION, "origin": origin, "palette": {}, "speed": layout.speed_of(durations),
            "duration_ms": layout.speed_of(durations) or 1}


def as_written(path: Path, doc: Document, roles: list[str | None], sprite: dict,
               limit: limits.PixelLimit) -> Imported:
    facts = Fields(path, sprite, "the document's user data")
    version = sprite.get("version")
    if version != layout.VERSION:
        raise ToolError(path, f"holds ravir's user data of version {version}, which this ravir does not read "
                              f"(it reads version {layout.VERSION})")
    origin = facts.items("origin")
    if len(origin) != 2 or not all(type(v) is int and v in ORIGINS for v in origin):
        facts.fail("origin", "two whole numbers")
    palette = facts.child("palette", "the document's user data: palette")
    palette_file = palette.text("file", optional=True)
    frames = Frames(path, doc, tuple(origin), limit)
    found = Imported([], 0, False, doc.palette, Path(palette_file) if palette_file else None,
                  palette.text("location", optional=True))
    role = None
    for number, frame in enumerate(doc.frames):
        cel, marks = frame_cels(path, doc, roles, number)
        role = roles[cel.layer_index] if cel else None
        if cel is None:
            found.warnings.append(f"frame {number} has no cel (Aseprite drops a cel erased whole): it is packed "
                                  "as a frame without pixels")
            found.frames.append(empty())
            continue
        if role == BACKGROUND and number != len(doc.frames) - 1:
            raise ToolError(path, f"frame {number}: a cel on the layer of the background frame, which only the "
                                  "last frame may have")
        said = frame_facts(path, number, layout.facts(cel.user_data, "frame"))
        shadow = role == SHADOWS or (role == BACKGROUND and said is not None and said.shadow)
        found.frames.append(frames.placed(number, cel, shadow) if said is None else
                            frames.kept(number, cel, said, shadow, marks))
    found.background = role == BACKGROUND
    durations = [frame.duration_ms for frame in doc.frames]
    # The durations written for the speed give it back exactly; durations set in Aseprite give their own.
    written = facts.integer("duration_ms", range(1, MAX_DURATION_MS + 1))
    found.speed = (facts.integer("speed", limits.SPEEDS) if all(d == written for d in durations)
                   else layout.speed_of(durations))
    return found


def frame_cels(path: Path, doc: Document, roles: list[str | None], number: int) -> tuple[Cel | None, Cel | None]:
    """Frame `number`'s cel, if it has one, and its cel on the gap mask layer."""
    cels, marks = [], None
    for cel in doc.frames[number].cels:
        role = roles[cel.layer_index]
        if role is None:
            name = doc.layers[cel.layer_index].name
            raise ToolError(path, f"frame {number}: a cel on the layer {name!r}, which is none of ravir's "
                                  f"({', '.join(layout.ROLES)}): merge it into one of them or delete it")
        if role == GAP_MASK:
            marks = cel
        else:
            cels.append(cel)
    if len(cels) > 1:
        names = " and ".join(repr(doc.layers[cel.layer_index].name) for cel in cels)
        raise ToolError(path, f"frame {number}: cels on the layers {names}, but a frame is one cel")
    return (cels[0] if cels else None), marks


def role_of(layer) -> str | None:
    said = layout.facts(layer.user_data, "layer")
    role = said.get("role") if said else None
    return role if role in layout.ROLES and layer.type == LayerType.IMAGE else None


def frame_facts(path: Path, number: int, said: dict | None) -> FrameFacts | None:
    if said is None:
        return None
    fields = Fields(path, said, f"frame {number}: its cel's user data")
    cel = fields.items("cel")
    if not (len(cel) == 4 and all(type(v) is int for v in cel) and cel[0] in limits.OFFSETS and cel[1] in limits.OFFSETS
            and cel[2] in limits.WIDTHS and cel[3] in limits.WIDTHS):
        fields.fail("cel", "the cel's place and size as written, [x, y, width, height]")
    return FrameFacts(fields.integer("width", limits.WIDTHS), fields.integer("height", limits.HEIGHTS),
                      fields.integer("offset_x", limits.OFFSETS), fields.integer("offset_y", limits.OFFSETS),
                      fields.flag("shadow"),
                      tuple(cel))


def empty() -> FrameEntry:
    entry = FrameEntry(0, 0, 0, 0, False)
    entry.pixels = Indexed(0, 0, b"", b"")
    return entry


class Frames:
    """Frames made from cels, within one budget of pixels for the document."""

    def __init__(self, path: Path, doc: Document, origin: tuple[int, int], limit: limits.PixelLimit):
        self.path, self.layers, self.origin, self.limit = path, doc.layers, origin, limit
        self.gap = doc.transparent_index
        self.gaps = bytes(int(i != self.gap) for i in range(256))  # index -> drawn flag
        self.pixels_left = limit.max_pixels

    def drawn(self, cel: Cel) -> Image.Image:
        """1 where the cel draws, 0 in its gaps."""
        image = Image.frombytes("L", (cel.width, cel.height), cel.pixels)
        if self.layers[cel.layer_index].flags & LayerFlag.BACKGROUND:
            return Image.new("L", image.size, 1)  # Aseprite shows every pixel of a background layer
        return image.point(list(self.gaps))

    def frame(self, number: int, place: tuple[int, int, int, int], offsets: tuple[int, int],
              shadow: bool) -> FrameEntry:
        x, y, width, height = place
        self.limit.check(self.path, f"frame {number}", width, height)
        if width * height > self.pixels_left:
            raise ToolError(self.path, f"frame {number}: the frames take more than {self.limit.max_pixels} "
                                       "pixels in all; --max-pixels raises it")
        self.pixels_left -= width * height
        return FrameEntry(width, height, offsets[0], offsets[1], shadow, image=self.path)

    def placed(self, number: int, cel: Cel, shadow: bool) -> FrameEntry:
        """A frame that is its cel, at the offsets of the cel's place."""
        entry = self.frame(number, (cel.x, cel.y, cel.width, cel.height),
                           (cel.x + self.origin[0], cel.y + self.origin[1]), shadow)
        entry.pixels = Indexed(cel.width, cel.height, cel.pixels, self.drawn(cel).tobytes())
        return entry

    def kept(self, number: int, cel: Cel, said: FrameFacts, shadow: bool, marks: Cel | None) -> FrameEntry:
        """The frame the cel's facts describe, where its cel shows it now."""
        x, y, width, height = said.cel
        if (cel.width, cel.height) == (width, height):
            x, y = cel.x, cel.y  # moved with its frame
        stored = (x, y, said.width, said.height)
        drawn = self.drawn(cel)
        box = (cel.x, cel.y, cel.width, cel.height)
        if not (said.width and said.height and inside(box, stored)):
            found = drawn.getbbox()
            content = (cel.x + found[0], cel.y + found[1], found[2] - found[0], found[3] - found[1]) if found else None
            box = union(stored if said.width and said.height else None, content) or stored
        else:
            box = stored
        # Offsets move with the frame's top-left corner from where its cel was written.
        entry = self.frame(number, box, (said.offset_x + box[0] - said.cel[0], said.offset_y + box[1] - said.cel[1]),
                           shadow)
        left, top, width, height = box
        if not (width and height):
            entry.pixels = Indexed(width, height, b"", b"")
            return entry
        indices = Image.new("L", (width, height), self.gap)
        indices.paste(Image.frombytes("L", (cel.width, cel.height), cel.pixels), (cel.x - left, cel.y - top))
        opaque = Image.new("L", (width, height), 0)
        opaque.paste(drawn, (cel.x - left, cel.y - top))
        if marks is not None:
            # The marks lie where the frame was written, and follow it wherever it went.
            marked = Image.new("L", stored[2:], 0)
            marked.paste(self.drawn(marks), (marks.x - said.cel[0], marks.y - said.cel[1]))
            whole = Image.new("L", (width, height), 0)
            whole.paste(marked, (stored[0] - left, stored[1] - top))
            opaque = ImageChops.lighter(opaque, whole)
        entry.pixels = Indexed(width, height, indices.tobytes(), opaque.tobytes())
        return entry


def inside(inner: tuple[int, int, int, int], outer: tuple[int, int, int, int]) -> bool:
    return (outer[0] <= inner[0] and outer[1] <= inner[1] and inner[0] + inner[2] <= outer[0] + outer[2]
            and inner[1] + inner[3] <= outer[1] + outer[3])


def union(a: tuple[int, int, int, int] | None, b: tuple[int, int, int, int] | None):
    if a is None or b is None:
        return a or b
    left, top = min(a[0], b[0]), min(a[1], b[1])
    right, bottom = max(a[0] + a[2], b[0] + b[2]), max(a[1] + a[3], b[1] + b[3])
    return left, top, right - left, bottom - top
