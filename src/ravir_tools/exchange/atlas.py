"""The atlas of a sprite sheet, NAME_sheet.json: TexturePacker's "JSON (Hash)",
which game engines import, with Aseprite's frame tags; and under its `ravir` key
the animation as the manifest describes it, each frame named by its key in
`frames` (null for a frame without pixels), so that pack reads the sheet back."""

from __future__ import annotations

from pathlib import Path

import ravir

from ravir_tools.errors import ToolError
from ravir_tools.exchange.json_files import Fields
from ravir_tools.exchange.manifest import (Manifest, checked_image, frame_fields, header, listed_frames, read_frame,
                                           read_header, rendered)

SHEET = "ravir sheet"
TAG_COLOR = "#000000ff"


def atlas_json(manifest: Manifest, corners: list[tuple[int, int]], *, sheet: Path, size: tuple[int, int],
               duration: int, gap_index: int | None, mask: Path | None) -> dict:
    """The atlas of the sheet `sheet` of `size`, where each frame of `manifest` that
    has a name lies at its corner, at its size times the scale."""
    scale = manifest.scale
    names = [entry.name for entry in manifest.frames]
    frames = {}
    for entry, (x, y) in zip(manifest.frames, corners):
        if entry.name is None:
            continue
        w, h = entry.width * scale, entry.height * scale
        frames[entry.name] = {"frame": {"x": x, "y": y, "w": w, "h": h}, "rotated": False, "trimmed": False,
                              "spriteSourceSize": {"x": 0, "y": 0, "w": w, "h": h}, "sourceSize": {"w": w, "h": h},
                              "duration": duration}
    listed = [name for name in names if name is not None]
    drawn_background = manifest.background and bool(names) and names[-1] is not None
    tags = []
    if len(listed) > drawn_background:
        tags.append({"name": manifest.path.stem, "from": 0, "to": len(listed) - 1 - drawn_background,
                     "direction": "forward", "color": TAG_COLOR})
    if drawn_background:
        tags.append({"name": "background", "from": len(listed) - 1, "to": len(listed) - 1,
                     "direction": "forward", "color": TAG_COLOR})
    meta = {"app": "ravir", "version": ravir.__version__, "image": sheet.name,
            "format": "I8" if manifest.render == "indexed" else "RGBA8888", "size": {"w": size[0], "h": size[1]},
            "scale": str(scale), "frameTags": tags}
    described = [{"name": entry.name, **frame_fields(entry)} for entry in manifest.frames]
    return {"frames": frames, "meta": meta,
            "ravir": {**header(manifest, SHEET), "gap_index": gap_index, "mask": mask.name if mask else None,
                      "frames": described}}


def is_atlas(document) -> bool:
    return isinstance(document, dict) and isinstance(document.get("ravir"), dict) and isinstance(
        document.get("meta"), dict)


def read_atlas(path: Path, document: dict) -> Manifest:
    """The animation the atlas `document`, read from `path`, describes."""
    top = Fields(path, document["ravir"], "ravir")
    if top.value.get("format") != SHEET:
        raise ToolError(path, "its 'ravir' part is not one that `ravir render --sheet` wrote")
    manifest = read_header(top)
    meta = Fields(path, document["meta"], "meta")
    image = path.parent / meta.text("image")
    rectangles = Fields(path, document.get("frames"), "frames")
    gap_index = top.integer("gap_index", range(256), optional=True)
    mask = top.text("mask", optional=True)
    for number, item in enumerate(listed_frames(top)):
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
