"""Loading one animation for a command: its tree, its rendered frames, the palette
it was drawn with and what the core reported about it; and where a new animation
stores its palette's location from."""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path
from typing import NamedTuple

import ravir

from ravir_tools import _native, limits
from ravir_tools.batch import Report
from ravir_tools.errors import ToolError
from ravir_tools.input_files import open_input
from ravir_tools.palettes import case_insensitive
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
    ignored_case: bool = False  # its palette was found only by matching its location without regard to case

    @property
    def frames(self) -> list[ravir.OrvFrame]:
        return self.data.frames


def load(path: Path, palette: Palette | None = None, game: str = "") -> Animation:
    """Loads `path` with its own palette, or with `palette` in its place. `game` is
    the folder the command was given (by default the file's own): a stored palette
    location that leaves it is refused, unless `palette` replaces it."""
    # Absolute, so that the palette search climbs from the file's real folder.
    absolute = os.path.abspath(path)
    stored = stored_location(path)
    if palette is None:
        check_inside(path, stored, os.path.abspath(game or os.path.dirname(absolute)))
    loaded = _load(path, absolute, colors=palette.colors if palette is not None else None)
    if any(problem.field and problem.frame is None for problem in loaded.problems):
        raise ToolError(path, f"is not an animation: it ends within its header ({os.path.getsize(absolute)} bytes)")
    location = _location(loaded.data)
    ignored_case = None
    if palette is None and not loaded.palette_path and location:
        ignored_case = case_insensitive.find_palette(absolute, location)
        if ignored_case is not None:
            loaded = _load(path, absolute, palette=ignored_case)
    data = loaded.data
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
    return Animation(Path(path), loaded.file, data, loaded.images, location, found, error, messages,
                     ignored_case is not None)


def _load(path: Path, absolute: str, **palette) -> _native.Loaded:
    try:
        return _native.load(absolute, **palette)
    except ValueError as error:
        raise ToolError(path, f"cannot read: {error}") from None
    except OSError as error:
        # The palette search looks for the name the file stores, which may be no name at all.
        raise ToolError(path, f"its palette cannot be looked for at {error.filename}: {error.strerror}") from None


def _location(data: ravir.OrvData) -> str | None:
    """The palette location the file stores; None when it is not UTF-8."""
    try:
        return data.palette.location()
    except UnicodeDecodeError:
        return None


def tell_ignored_case(anim: Animation, report: Report) -> None:
    """Says, once in a run, that palettes were found only by ignoring the case of their locations."""
    if anim.ignored_case:
        report.warn_once("ignored case", anim.path, f"its palette {anim.location!r} is not found as written, only "
                                                    f"without regard to case, at {anim.palette_path}: the files come "
                                                    "from a system that ignores case (said once a run)")


class HeaderPeek(NamedTuple):
    """An animation file's header, as a load reads it from the bytes at hand."""

    background: bool
    speed: int
    location_size: int
    location_offset: int  # where the location starts in the file
    location: bytes  # the bytes of it at hand
    frame_count: int  # the background frame not counted
    header_size: int  # where the frame records start
    complete: bool  # whether the bytes held the header whole; what they lack reads as zeros


def peek_header(data: bytes) -> HeaderPeek:
    return HeaderPeek._make(_native.peek_header(data))


def stored_location(path: Path) -> bytes:
    """The palette location the file at `path` stores, up to its NUL; ToolError for a
    file that is not an animation, as its location shows, without a byte of it."""
    descriptor = open_input(path)
    with open(descriptor, "rb") as stream:
        head = stream.read(limits.MAX_HEADER_BYTES)
        size = os.fstat(descriptor).st_size
    if size > limits.MAX_ANIMATION_BYTES:
        raise ToolError(path, f"is {size:,} bytes, more than the {limits.MAX_ANIMATION_BYTES:,} an animation may have")
    peek = peek_header(head)
    start = peek.location_offset
    location = peek.location.split(b"\0", 1)[0]
    text = not any(byte < 0x20 or byte == 0x7F for byte in location)
    if peek.location_size > limits.MAX_LOCATION_BYTES or not text:
        stored = max(0, min(peek.location_size, size - start))
        raise ToolError(path, f"is not an animation: its palette location is not a path ({stored:,} bytes"
                              + (")" if text else ", not text)"))
    return location


def check_inside(path: Path, location: bytes, game: str) -> None:
    """Refuses a palette location that is absolute, or that leads out of `game` from
    the file's folder: a crafted file must not have a command read, and a gallery
    publish, a file of the user's that the game's own do not name."""
    name = os.fsdecode(location)
    target = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(path)), name))
    if os.path.isabs(name) or os.path.commonpath([target, game]) != game:
        raise ToolError(path, f"its palette location {name} leaves the game folder; name a palette with --palette")


def summary(anim: Animation, replaced: bool = False) -> dict:
    """What `ravir info` tells of an animation, as its JSON has it; `replaced` says
    whether a palette was named in place of the animation's own."""
    frames = []
    for index, (frame, (rows, runs)) in enumerate(zip(anim.frames, _native.rows_and_runs(anim.data))):
        frames.append({
            "index": index, "width": frame.width, "height": frame.height,
            "offset_x": frame.x_offset, "offset_y": frame.y_offset, "shadow": bool(frame.is_shadow),
            "rows": rows, "runs": runs,
        })
    info = anim.data.info
    return {
        "file": str(anim.path), "speed": info.speed, "frame_count": info.frame_count,
        "background": anim.data.has_background, "palette_location": anim.location,
        "palette_found": anim.palette_path or None, "palette_loaded": anim.palette_error is None,
        "palette_replaced": replaced, "frames": frames,
    }


def default_root(output: Path, palette: Path) -> Path:
    """The folder that an animation written to `output` stores the location of
    `palette` relative to, unless told: the nearest folder above both, from which a
    load of the animation finds the palette."""
    return Path(os.path.commonpath([os.path.abspath(output.parent), os.path.abspath(palette.parent)]))
