"""Loading one animation for a command, with what became of its palette."""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path

import ravir

from ravir_tools import _native
from ravir_tools.diagnostics import core_lines
from ravir_tools.errors import ToolError


@dataclass
class Animation:
    path: Path
    file: ravir.OrvF  # the frames of `data` live only as long as this
    data: ravir.OrvData
    images: list  # ravir.OrvFrameBufferObject, one per frame
    location: str | None  # as stored in the file; None when it is not UTF-8
    palette_path: str  # where the palette was looked for and found, "" if nowhere
    palette_error: str | None  # why the frames could not be rendered, if they could not
    warnings: list[str]  # what the renderer reported about the frames

    @property
    def frames(self) -> list:
        return self.data.frames


def check_readable(path: Path) -> None:
    if not path.exists():
        raise ToolError(path, "no such file")
    if path.is_dir():
        raise ToolError(path, "is a folder, not a file")
    try:
        path.open("rb").close()
    except OSError as error:
        raise ToolError(path, f"cannot open: {error.strerror}") from None


def read_palette(path: Path) -> ravir.PalF:
    check_readable(path)
    palette = ravir.PalF()
    with core_lines() as lines:
        result = palette.load(os.path.abspath(path))
    if result != 1:
        raise ToolError(path, f"cannot read the palette: {' '.join(lines)}")
    return palette


def load(path: Path, palette: Path | None = None) -> Animation:
    """Loads `path` with its own palette, or with `palette` (read_palette checks it) in its place."""
    check_readable(path)
    # Absolute, so that the palette search climbs from the file's real folder.
    absolute = os.path.abspath(path)
    override = os.path.abspath(palette) if palette is not None else ""
    file = ravir.OrvF()
    with core_lines() as lines:
        try:
            file.load(absolute, io_pal=override)
        except (ValueError, OSError, RuntimeError) as error:
            raise ToolError(path, f"cannot read: {error}") from None
    data = file.data()
    try:
        location = data.palette.location()
    except UnicodeDecodeError:
        location = None
    found = override or (_native.find_palette(absolute, location) if location is not None else "")

    # Each load starts with an empty palette, so colors mean the palette was read;
    # without them the renderer stops at once and all it said is about the palette.
    error = None
    if not data.palette.colors():
        if found:
            error = f"the palette {found} cannot be read" + (f": {lines[0]}" if lines else "")
        else:
            name = repr(location) if location is not None else "(its name is not UTF-8)"
            error = f"the palette {name} is not found above {Path(absolute).parent}"
    return Animation(Path(path), file, data, file.get_frame_buffer(), location, found, error,
                     [] if error else lines)
