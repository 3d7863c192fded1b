"""Writing animations from Pillow frames: the Pillow plugin's save handler.

    frames[0].save("new.orv", save_all=True, append_images=frames[1:], palette="pal/unit.pal", root="game")

Each frame becomes palette indices: a P-mode frame in the palette gives its own
(its transparent index a gap); any other is matched by color as pack matches it
(alpha 0 a gap). A frame that carries `frame_box` in its info (one this plugin
opened) is cut to that box and keeps its offset; when it is the frame as opened,
only the pixels whose color changed are looked up, so that its indices come back
exactly. Any other frame is trimmed to its drawn pixels, its offset following.

Keywords, each also taken from the first frame's info (or each frame's) when not
given: `palette` (any format `ravir palette` reads; the info's `palette_file`),
`root` (the folder the palette's stored location is relative to; by default the
nearest above both the file and the palette), `offsets` and `shadow` (one value for
every frame, or a list of one per frame; the info's `offset` and `shadow`),
`background` (the last frame is the background frame; by default when the last
frame's info says so, or when the frames come from an animation with one, whose
background frame is then written after them) and `speed` (the info's, else 0).
The file is replaced in one step; the palette file is never written.
"""

from __future__ import annotations

import itertools
import os
from abc import ABC, abstractmethod
from dataclasses import dataclass
from pathlib import Path

from PIL import Image, ImageSequence

from ravir_tools import _native, atomic_file, limits
from ravir_tools.animation import default_root
from ravir_tools.errors import ToolError
from ravir_tools.frames.color_lookup import BadColor, Indexed, PaletteIndex, from_indices
from ravir_tools.frames.sources import in_palette, transparent_index
from ravir_tools.palettes.colors import rgb_bytes
from ravir_tools.palettes.registry import read_palette

SOURCE = "ravir_source"  # the info key of what an opened frame carries for writing it back


@dataclass
class Frame:
    """A frame as the animation stores it."""
    pixels: Indexed
    x_offset: int
    y_offset: int
    shadow: bool


class Source(ABC):
    """An opened frame's own indices, as the plugin hands them on in its info."""
    canvas_size: tuple[int, int]
    box: tuple[int, int, int, int]

    @abstractmethod
    def original(self) -> Frame:
        """The frame as the file stores it."""

    @abstractmethod
    def shown(self) -> Image.Image:
        """Its `frame_box` of the canvas as opened."""

    @abstractmethod
    def background(self) -> Frame | None:
        """The background frame of its animation, if it has one."""


@dataclass(frozen=True)
class Options:
    palette: Path | None = None
    root: Path | None = None
    offsets: tuple | list | None = None
    shadow: bool | tuple | list | None = None
    background: bool | None = None
    speed: int | None = None


def save(im: Image.Image, fp, filename) -> None:
    _write([im], im.encoderinfo, fp, filename)


def save_all(im: Image.Image, fp, filename) -> None:
    sequences = itertools.chain([im], im.encoderinfo.get("append_images", []))
    _write((frame for sequence in sequences for frame in ImageSequence.Iterator(sequence)), im.encoderinfo, fp,
           filename)


def _write(images, encoderinfo: dict, fp, filename) -> None:
    """Everything is read and checked before the file is touched: a call that is
    refused writes nothing."""
    options = _options(encoderinfo)
    name = os.fsdecode(filename) if filename else None
    frames: list[Frame] = []
    lookup = palette = first = None
    last_marked = False
    for number, image in enumerate(images):
        if first is None:
            first = dict(image.info)  # an opened file's info changes as it moves on
            palette = _palette(options.palette, first)
            lookup = PaletteIndex(palette.colors, nearest=False)
        try:
            frames.append(_frame(image, number, options, lookup))
        except BadColor as error:
            raise ValueError(f"frame {number}: {error} {palette.path}") from None
        last_marked = image.info.get("background") is True
    _check_counts(options, len(frames))
    background = options.background
    if background is None:
        source = first.get(SOURCE)
        carried = source.background() if isinstance(source, Source) and not last_marked else None
        if carried is not None:
            frames.append(carried)
        background = last_marked or carried is not None
    speed = options.speed if options.speed is not None else first.get("speed", 0)
    if not isinstance(speed, int) or speed not in limits.SPEEDS:
        raise ValueError(f"speed: {speed!r} is not from 0 to 4294967295")
    data = _encode(frames, speed, background, _location(options.root, name, palette.path))
    if name:
        atomic_file.write_bytes(name, data)
    else:
        fp.write(data)


def _frame(image: Image.Image, number: int, options: Options, lookup: PaletteIndex) -> Frame:
    info = image.info
    x, y = _offset(_for_frame("offsets", options.offsets, number, _is_pair) if options.offsets is not None
                   else info.get("offset", (0, 0)), number)
    shadow = (_for_frame("shadow", options.shadow, number, _is_bool)
              if options.shadow is not None else bool(info.get("shadow", False)))
    box = info.get("frame_box")
    if box is None:
        pixels, (left, top) = _trimmed(_indexed(image, None, lookup, shadow))
        return Frame(pixels, x + left, y + top, shadow)
    box = _box(box, number)
    source = info.get(SOURCE)
    usable = isinstance(source, Source) and (image.size, box) == (source.canvas_size, source.box)
    return Frame(_indexed(image.crop(box), source if usable else None, lookup, shadow), x, y, shadow)


def _indexed(image: Image.Image, source: Source | None, lookup: PaletteIndex, shadow: bool) -> Indexed:
    if not (image.width and image.height):
        return Indexed(image.width, image.height, b"", b"")
    if image.mode == "P" and in_palette(image, rgb_bytes(lookup.colors)):
        return from_indices(image, transparent_index(image), None, shadow)
    if source is not None:
        return lookup.changes(image, source.shown(), source.original().pixels, shadow)[0]
    return lookup.index(image, shadow)


def _trimmed(pixels: Indexed) -> tuple[Indexed, tuple[int, int]]:
    """`pixels` cut to the rectangle of its drawn pixels, and that rectangle's corner."""
    size = (pixels.width, pixels.height)
    box = Image.frombytes("L", size, pixels.opaque).getbbox() if pixels.width and pixels.height else None
    if box is None:
        return Indexed(0, 0, b"", b""), (0, 0)

    def cut(data: bytes) -> bytes:
        return Image.frombytes("L", size, data).crop(box).tobytes()

    return Indexed(box[2] - box[0], box[3] - box[1], cut(pixels.indices), cut(pixels.opaque)), box[:2]


def _encode(frames: list[Frame], speed: int, background: bool, location: str) -> bytes:
    writer = _native.AnimationWriter(speed, background)
    for number, frame in enumerate(frames):
        try:
            writer.add_frame(frame.pixels.width, frame.pixels.height, frame.pixels.indices, frame.pixels.opaque,
                             frame.x_offset, frame.y_offset, frame.shadow)
        except ValueError as error:
            raise ValueError(f"frame {number}: {error}") from None
    return writer.encode(location)


# --- the call's keywords ---------------------------------------------------------

def _options(encoderinfo: dict) -> Options:
    options = Options(**{key: encoderinfo[key] for key in Options.__dataclass_fields__ if key in encoderinfo})
    for key in ("palette", "root"):
        value = getattr(options, key)
        if value is not None and not isinstance(value, (str, bytes, os.PathLike)):
            raise TypeError(f"{key}: a path, not {type(value).__name__}")
    if options.background is not None and not isinstance(options.background, bool):
        raise TypeError(f"background: True or False, not {type(options.background).__name__}")
    if options.speed is not None and (not isinstance(options.speed, int) or isinstance(options.speed, bool)):
        raise TypeError(f"speed: an int, not {type(options.speed).__name__}")
    if options.offsets is not None and not _is_pair(options.offsets) and not _is_list_of(options.offsets, _is_pair):
        raise TypeError("offsets: an (x, y) pair of ints for every frame, or a list of one per frame")
    if (options.shadow is not None and not isinstance(options.shadow, bool)
            and not _is_list_of(options.shadow, _is_bool)):
        raise TypeError("shadow: True or False for every frame, or a list of one per frame")
    return options


def _is_pair(value) -> bool:
    return (isinstance(value, (tuple, list)) and len(value) == 2
            and all(isinstance(v, int) and not isinstance(v, bool) for v in value))


def _is_bool(value) -> bool:
    return isinstance(value, bool)


def _is_list_of(value, check) -> bool:
    return isinstance(value, (tuple, list)) and all(check(item) for item in value)


def _for_frame(key: str, value, number: int, is_one):
    """`value` for frame `number`: one value for every frame, or a list of one per frame."""
    if is_one(value):
        return value
    if number >= len(value):
        raise ValueError(f"{key}: {len(value)} values for more frames")
    return value[number]


def _check_counts(options: Options, count: int) -> None:
    for key, is_one in (("offsets", _is_pair), ("shadow", _is_bool)):
        value = getattr(options, key)
        if value is not None and not is_one(value) and len(value) != count:
            raise ValueError(f"{key}: {len(value)} values for {count} frames")


def _offset(value, number: int) -> tuple[int, int]:
    if not _is_pair(value):
        raise TypeError(f"frame {number}: its offset {value!r} is no (x, y) pair of ints")
    if value[0] not in limits.OFFSETS or value[1] not in limits.OFFSETS:
        raise ValueError(f"frame {number}: its offsets {tuple(value)} are not from -32768 to 32767")
    return value[0], value[1]


def _box(value, number: int) -> tuple[int, int, int, int]:
    if not (isinstance(value, (tuple, list)) and len(value) == 4 and all(isinstance(v, int) for v in value)):
        raise TypeError(f"frame {number}: its frame_box {value!r} is no (left, top, right, bottom) of ints")
    left, top, right, bottom = value
    if right - left not in limits.WIDTHS or bottom - top not in limits.HEIGHTS:
        raise ValueError(f"frame {number}: its frame_box {tuple(value)} is no frame's size (up to "
                         f"{limits.MAX_FRAME_WIDTH} x {limits.MAX_FRAME_HEIGHT})")
    return left, top, right, bottom


def _palette(given, info: dict):
    path = given if given is not None else info.get("palette_file")
    if path is None:
        raise ValueError("no palette: name the palette the frames are drawn in with palette=PATH")
    try:
        return read_palette(Path(os.fsdecode(path)))
    except ToolError as error:
        raise OSError(str(error)) from None


def _location(root, name: str | None, palette: Path) -> str:
    """The palette's location as the file stores it, relative to `root`."""
    if root is None:
        if name is None:
            raise ValueError("writing to a stream without a name: name the folder the palette's location is "
                             "relative to with root=PATH")
        found = default_root(Path(name), palette)
    else:
        found = Path(os.path.abspath(os.fsdecode(root)))
    return _native.stored_location(str(found), os.path.abspath(palette))
