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
from ravir_tools.exchange.json_files import Fields
from ravir_tools import limits
from ravir_tools.frames.color_lookup import Indexed

VERSION = 1
MANIFEST = "ravir animation"
RENDER_MODES = ("indexed", "rgba")


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


# --- reading ---------------------------------------------------------------------

def read_manifest(path: Path, document) -> Manifest:
    """The manifest whose JSON `document` was read from `path`."""
    top = Fields(path, document, "")
    if top.value.get("format") != MANIFEST:
        raise ToolError(path, "is neither a manifest nor an atlas that `ravir render` wrote")
    manifest = read_header(top)
    folder = path.parent
    for number, item in enumerate(listed_frames(top)):
        entry = Fields(path, item, f"frame {number}")
        frame = read_frame(entry)
        image, mask = entry.text("image", optional=True), entry.text("mask", optional=True)
        frame.image = folder / image if image is not None else None
        frame.mask = folder / mask if mask is not None else None
        frame.gap_index = entry.integer("gap_index", range(256), optional=True)
        manifest.frames.append(checked_image(entry, frame))
    return rendered(manifest)


def listed_frames(top: Fields) -> list:
    """The frames a manifest or atlas lists, as many as pack takes at most."""
    frames = top.items("frames")
    if len(frames) > limits.MAX_MANIFEST_FRAMES:
        raise ToolError(top.path, f"lists {len(frames):,} frames, more than the {limits.MAX_MANIFEST_FRAMES:,} an "
                                  "animation packed from it may have")
    return frames


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
        path=top.path, speed=top.integer("speed", limits.SPEEDS), background=top.flag("background"), render=render,
        scale=top.integer("scale", range(1, 2**16)), palette_location=palette.text("location", optional=True),
        palette_file=Path(palette_file) if palette_file else None,
        source=Path(source_file) if source_file else None, source_sha256=source.text("sha256", optional=True))


def read_frame(entry: Fields) -> FrameEntry:
    return FrameEntry(width=entry.integer("width", limits.WIDTHS), height=entry.integer("height", limits.HEIGHTS),
                      x_offset=entry.integer("offset_x", limits.OFFSETS),
                      y_offset=entry.integer("offset_y", limits.OFFSETS),
                      shadow=entry.flag("shadow"))


def checked_image(entry: Fields, frame: FrameEntry) -> FrameEntry:
    if frame.image is None and frame.width and frame.height:
        entry.fail("image" if "image" in entry.value else "name",
                   f"given for a frame of {frame.width}x{frame.height}")
    return frame


