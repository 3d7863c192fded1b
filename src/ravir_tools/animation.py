"""Loading one animation for a command: its tree, its rendered frames, the palette
it was drawn with and what the core reported about it."""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path

import ravir

from ravir_tools import _native
from ravir_tools.errors import ToolError
from ravir_tools.input_files import check_readable
from ravir_tools.palettes.registry import Palette


@dataclass
class Animation:
    path: Path
    file: ravir.OrvF  # the frames of `data` live only as long as this
    data: ravir.OrvData
    images: list[ravir.OrvFrameBufferObject]  # one per frame
    location: str | None  # as stored in the file; None when it is not UTF-8
    palette_path: str  # the palette file the frames were drawn with, "" if none was found
    palette_error: str | None  # why the frames could not be rendered, if they could not
    warnings: list[str]  # what the core reported about the file and its frames

    @property
    def frames(self) -> list[ravir.OrvFrame]:
        return self.data.frames


def load(path: Path, palette: Palette | None = None) -> Animation:
    """Loads `path` with its own palette, or with `palette` in its place."""
    check_readable(path)
    # Absolute, so that the palette search climbs from the file's real folder.
    absolute = os.path.abspath(path)
    try:
        loaded = _native.load(absolute, colors=palette.colors if palette is not None else None)
    except ValueError as error:
        raise ToolError(path, f"cannot read: {error}") from None
    except OSError as error:
        # The palette search looks for the name the file stores, which may be no name at all.
        raise ToolError(path, f"its palette cannot be looked for at {error.filename}: {error.strerror}") from None
    if any(problem.field and problem.frame is None for problem in loaded.problems):
        raise ToolError(path, f"is not an animation: it ends within its header ({os.path.getsize(absolute)} bytes)")
    data = loaded.data
    try:
        location = data.palette.location()
    except UnicodeDecodeError:
        location = None
    found = str(palette.path.absolute()) if palette is not None else loaded.palette_path
    messages = [problem.message for problem in loaded.problems]

    # Each load starts with an empty palette, so colors mean the palette was read;
    # without them the renderer stops at once and all it said is about the palette.
    error = None
    if not data.palette.colors():
        errors = [problem.message for problem in loaded.problems if problem.kind == "error"]
        if found:
            error = f"the palette {found} cannot be read" + (f": {errors[0]}" if errors else "")
        else:
            name = repr(location) if location is not None else "(its name is not UTF-8)"
            error = f"the palette {name} is not found above {Path(absolute).parent}"
        messages = [problem.message for problem in loaded.problems if problem.kind == "warning"]
    return Animation(Path(path), loaded.file, data, loaded.images, location, found, error, messages)


def summary(anim: Animation, replaced: bool = False) -> dict:
    """What `ravir info` tells of an animation, as its JSON has it; `replaced` says
    whether a palette was named in place of the animation's own."""
    frames = []
    for index, frame in enumerate(anim.frames):
        rows = frame.pixel_sets
        frames.append({
            "index": index, "width": frame.width, "height": frame.height,
            "offset_x": frame.x_offset, "offset_y": frame.y_offset, "shadow": bool(frame.is_shadow),
            "rows": len(rows), "runs": sum(len(row.blocks) for row in rows),
        })
    info = anim.data.info
    return {
        "file": str(anim.path), "speed": info.speed, "frame_count": info.frame_count,
        "background": anim.data.has_background, "palette_location": anim.location,
        "palette_found": anim.palette_path or None, "palette_loaded": anim.palette_error is None,
        "palette_replaced": replaced, "frames": frames,
    }
