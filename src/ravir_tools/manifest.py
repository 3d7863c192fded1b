"""What a render wrote, so that `pack` can build the animation back: the manifest
beside the frame PNGs, and the `ravir` part of a sprite sheet's atlas.

Both hold the same animation description; they differ only in where each frame's
pixels are. The manifest names one PNG per frame (null for a frame without pixels).
The atlas names frames of the sheet, whose rectangles its TexturePacker part gives.
Editors drop unknown PNG chunks, so these files, not the PNGs, are what pack trusts.

    {"format": "ravir animation", "version": 1, "render": "indexed" or "rgba",
     "scale": 1, "speed": 7, "background": false,
     "source": {"file": "/game/anim/walk.orv", "sha256": "..."},
     "palette": {"location": "pal/a.pal", "file": "/game/pal/a.pal"},
     "frames": [{"image": "walk_000.png", "width": 4, "height": 3, "offset_x": -2,
                 "offset_y": 3, "shadow": false, "gap_index": 0, "mask": null}, ...]}
"""

from __future__ import annotations

import hashlib
import json
from dataclasses import dataclass, field
from pathlib import Path

from ravir_tools.errors import ToolError
from ravir_tools.indexing import Indexed

VERSION = 1
MANIFEST = "ravir animation"
SHEET = "ravir sheet"
RENDER_MODES = ("indexed", "rgba")
INT16 = range(-32768, 32768)
UINT16 = range(65536)
UINT32 = range(2**32)


@dataclass
class FrameEntry:
    width: int
    height: int
    x_offset: int
    y_offset: int
    shadow: bool
    gap_index: int | None = None  # the index standing for pixels no run draws
    image: Path | None = None  # the PNG holding the frame; None for a frame without pixels
    corner: tuple[int, int] = (0, 0)  # where the frame lies in `image`, in image pixels
    mask: Path | None = None  # 1-bit image of the drawn pixels, when the gap index is also drawn
    name: str | None = None  # the key of a sheet frame in the atlas
    render: str | None = None  # the color space of `image`, when ravir rendered it: "indexed" or "rgba"
    pixels: Indexed | None = None  # the frame's indices, when read already (from an Aseprite document)


@dataclass
class Manifest:
    path: Path  # the JSON file
    speed: int
    background: bool
    render: str
    scale: int = 1
    palette_location: str | None = None
    palette_file: Path | None = None
    source: Path | None = None
    source_sha256: str | None = None
    frames: list[FrameEntry] = field(default_factory=list)


def digest(path: Path) -> str:
    """The SHA-256 of a file, by which pack knows the source animation is unchanged."""
    value = hashlib.sha256()
    with open(path, "rb") as stream:
        while chunk := stream.read(1 << 20):
            value.update(chunk)
    return value.hexdigest()


# --- writing ---------------------------------------------------------------------

def header(manifest: Manifest, kind: str) -> dict:
    return {
        "format": kind, "version": VERSION, "render": manifest.render, "scale": manifest.scale,
        "speed": manifest.speed, "background": manifest.background,
        "source": {"file": str(manifest.source), "sha256": manifest.source_sha256},
        "palette": {"location": manifest.palette_location,
                    "file": str(manifest.palette_file) if manifest.palette_file else None},
    }


def frame_fields(entry: FrameEntry) -> dict:
    return {"width": entry.width, "height": entry.height, "offset_x": entry.x_offset,
            "offset_y": entry.y_offset, "shadow": entry.shadow}


def manifest_json(manifest: Manifest) -> dict:
    """The manifest; file names relative to its folder."""
    frames = [{"image": entry.image.name if entry.image else None, **frame_fields(entry),
               "gap_index": entry.gap_index, "mask": entry.mask.name if entry.mask else None}
              for entry in manifest.frames]
    return {**header(manifest, MANIFEST), "frames": frames}


def sheet_json(manifest: Manifest, gap_index: int | None, mask: Path | None) -> dict:
    """The `ravir` part of an atlas: the frames in order, each named by its key in the
    atlas's `frames` (null for a frame without pixels)."""
    frames = [{"name": entry.name, **frame_fields(entry)} for entry in manifest.frames]
    return {**header(manifest, SHEET), "gap_index": gap_index, "mask": mask.name if mask else None,
            "frames": frames}


def dumps(document: dict) -> str:
    """Indented JSON with each frame on a line of its own: as easy to read as fully
    indented JSON and a fraction of its length, and the fast encoder writes the lines."""
    return _laid_out(document, 0) + "\n"


def _laid_out(value, depth: int) -> str:
    if depth >= 2 or not value or not isinstance(value, (dict, list)):
        return json.dumps(value)
    inner = "  " * (depth + 1)
    if isinstance(value, dict):
        members = [f"{inner}{json.dumps(key)}: {_laid_out(item, depth + 1)}" for key, item in value.items()]
        return "{\n" + ",\n".join(members) + "\n" + "  " * depth + "}"
    members = [inner + _laid_out(item, depth + 1) for item in value]
    return "[\n" + ",\n".join(members) + "\n" + "  " * depth + "]"


# --- reading ---------------------------------------------------------------------

class Fields:
    """Checked access to one JSON object; every refusal names the file and the place."""

    def __init__(self, path: Path, value, where: str):
        if not isinstance(value, dict):
            raise ToolError(path, f"{where or 'the file'} is not a JSON object")
        self.path, self.value, self.where = path, value, where

    def fail(self, key: str, wanted: str):
        place = f"{self.where}: " if self.where else ""
        raise ToolError(self.path, f"{place}{key!r} must be {wanted}, not {json.dumps(self.value.get(key))}")

    def integer(self, key: str, allowed: range, optional: bool = False) -> int | None:
        value = self.value.get(key)
        if optional and value is None:
            return None
        if isinstance(value, bool) or not isinstance(value, int) or value not in allowed:
            self.fail(key, f"a whole number from {allowed.start} to {allowed.stop - 1}")
        return value

    def flag(self, key: str) -> bool:
        value = self.value.get(key)
        if not isinstance(value, bool):
            self.fail(key, "true or false")
        return value

    def text(self, key: str, optional: bool = False) -> str | None:
        value = self.value.get(key)
        if optional and value is None:
            return None
        if not isinstance(value, str):
            self.fail(key, "a string")
        return value

    def child(self, key: str, where: str) -> Fields:
        return Fields(self.path, self.value.get(key), where)

    def items(self, key: str) -> list:
        value = self.value.get(key)
        if not isinstance(value, list):
            self.fail(key, "a list")
        return value


def load_json(path: Path):
    try:
        text = path.read_text(encoding="utf-8")
    except FileNotFoundError:
        raise ToolError(path, "no such file") from None
    except OSError as error:
        raise ToolError(path, f"cannot read: {error.strerror}") from None
    except UnicodeDecodeError:
        raise ToolError(path, "is not JSON: it is not UTF-8 text") from None
    try:
        return json.loads(text)
    except json.JSONDecodeError as error:
        raise ToolError(path, f"is not valid JSON: {error.msg} at line {error.lineno}, column {error.colno}") from None


def read(path: Path) -> Manifest:
    """The manifest or atlas at `path`; a ToolError naming it for anything it cannot be."""
    document = load_json(path)
    if isinstance(document, dict) and isinstance(document.get("ravir"), dict) and isinstance(
            document.get("meta"), dict):
        return read_sheet(path, document)
    top = Fields(path, document, "")
    if top.value.get("format") != MANIFEST:
        raise ToolError(path, "is neither a manifest nor an atlas that `ravir render` wrote")
    manifest = read_header(top)
    folder = path.parent
    for number, item in enumerate(top.items("frames")):
        entry = Fields(path, item, f"frame {number}")
        frame = read_frame(entry)
        image, mask = entry.text("image", optional=True), entry.text("mask", optional=True)
        frame.image = folder / image if image is not None else None
        frame.mask = folder / mask if mask is not None else None
        frame.gap_index = entry.integer("gap_index", range(256), optional=True)
        manifest.frames.append(checked_image(entry, frame))
    return rendered(manifest)


def rendered(manifest: Manifest) -> Manifest:
    for frame in manifest.frames:
        frame.render = manifest.render
    return manifest


def read_header(top: Fields) -> Manifest:
    version = top.value.get("version")
    if version != VERSION:
        raise ToolError(top.path, f"is of version {json.dumps(version)}, which this ravir does not read "
                                  f"(it reads version {VERSION})")
    render = top.text("render")
    if render not in RENDER_MODES:
        top.fail("render", " or ".join(map(repr, RENDER_MODES)))
    source = top.child("source", "source")
    palette = top.child("palette", "palette")
    source_file, palette_file = source.text("file", optional=True), palette.text("file", optional=True)
    return Manifest(
        path=top.path, speed=top.integer("speed", UINT32), background=top.flag("background"), render=render,
        scale=top.integer("scale", range(1, 2**16)), palette_location=palette.text("location", optional=True),
        palette_file=Path(palette_file) if palette_file else None,
        source=Path(source_file) if source_file else None, source_sha256=source.text("sha256", optional=True))


def read_frame(entry: Fields) -> FrameEntry:
    return FrameEntry(width=entry.integer("width", UINT16), height=entry.integer("height", range(0x8000)),
                      x_offset=entry.integer("offset_x", INT16), y_offset=entry.integer("offset_y", INT16),
                      shadow=entry.flag("shadow"))


def checked_image(entry: Fields, frame: FrameEntry) -> FrameEntry:
    if frame.image is None and frame.width and frame.height:
        entry.fail("image" if "image" in entry.value else "name",
                   f"given for a frame of {frame.width}x{frame.height}")
    return frame


def read_sheet(path: Path, document: dict) -> Manifest:
    top = Fields(path, document["ravir"], "ravir")
    if top.value.get("format") != SHEET:
        raise ToolError(path, "its 'ravir' part is not one that `ravir render --sheet` wrote")
    manifest = read_header(top)
    meta = Fields(path, document["meta"], "meta")
    image = path.parent / meta.text("image")
    rectangles = Fields(path, document.get("frames"), "frames")
    gap_index = top.integer("gap_index", range(256), optional=True)
    mask = top.text("mask", optional=True)
    for number, item in enumerate(top.items("frames")):
        entry = Fields(path, item, f"ravir: frame {number}")
        frame = read_frame(entry)
        frame.gap_index = gap_index
        frame.name = entry.text("name", optional=True)
        if frame.name is not None:
            box = rectangles.child(frame.name, f"frames: {frame.name}").child("frame", f"frames: {frame.name}: frame")
            frame.corner = (box.integer("x", range(2**31)), box.integer("y", range(2**31)))
            size = (box.integer("w", range(2**31)), box.integer("h", range(2**31)))
            wanted = (frame.width * manifest.scale, frame.height * manifest.scale)
            if size != wanted:
                raise ToolError(path, f"frame {frame.name!r} is {size[0]}x{size[1]} on the sheet, but the "
                                      f"frame is {wanted[0]}x{wanted[1]}")
            frame.image = image
            frame.mask = path.parent / mask if mask is not None else None
        manifest.frames.append(checked_image(entry, frame))
    return rendered(manifest)
