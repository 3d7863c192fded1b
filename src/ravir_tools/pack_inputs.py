"""What `ravir pack` builds an animation from: a plan of its frames and facts, read
from a manifest or atlas that render wrote, an Aseprite document, or PNG images
with a palette, with the options given in place of what they say."""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path, PurePosixPath

from ravir_tools import limits
from ravir_tools.aseprite import from_document
from ravir_tools.batch import Batch, InputFiles
from ravir_tools.errors import ToolError, excerpt
from ravir_tools.exchange.json_files import load_json, parse_json
from ravir_tools.exchange import png_chunks
from ravir_tools.exchange.described import read_described
from ravir_tools.exchange.manifest import RENDER_MODES, FrameEntry, Manifest
from ravir_tools.exchange.names import is_render_extra
from ravir_tools.frames.images import open_image

WHOLE = (".json", ".aseprite", ".ase")  # inputs that describe a whole animation


@dataclass(frozen=True)
class PackOptions:
    inputs: list[str]  # a manifest, atlas or document alone, or PNG images and folders of them
    output: Path
    palette: Path | None = None
    root: Path | None = None
    nearest: bool = False
    offsets: str | None = None  # JSON, inline or a file's name
    speed: int | None = None
    shadow: str | None = None  # frame numbers, comma-separated
    background: bool | None = None
    quiet: bool = False
    max_pixels: int = limits.DEFAULT_MAX_PIXELS

    @property
    def pixel_limit(self) -> limits.PixelLimit:
        return limits.PixelLimit(self.max_pixels)

    @property
    def offsets_file(self) -> Path | None:
        """The file --offsets names, when it does not give the JSON itself."""
        if self.offsets is None or self.offsets.lstrip()[:1] in ("[", "{"):
            return None
        return Path(self.offsets)


@dataclass
class Plan:
    """What to build, from a manifest or from the PNGs themselves."""

    frames: list[FrameEntry]
    speed: int
    background: bool
    palette: Path
    location: str | None  # the palette location to store as it is; None: from `root`
    root: Path | None
    recorded: str | None = None  # the palette location the manifest or document recorded
    described: Manifest | None = None  # the manifest or atlas, when packing one
    source: Path | None = None  # the manifest, atlas or document the plan was read from
    colors: list | None = None  # the colors the frames were drawn with, when the source holds them


def plan(options: PackOptions, batch: Batch) -> Plan | None:
    """The plan for the inputs; None when some PNG could not be read, each named."""
    animations = [argument for argument in options.inputs if argument.lower().endswith(".orv")]
    if animations:
        raise ToolError(animations[0], "is an animation: pack builds one from a manifest or atlas (.json), a folder "
                                       "of PNGs or an Aseprite document, which `ravir render` makes from it")
    whole = [Path(argument) for argument in options.inputs if argument.lower().endswith(WHOLE)]
    if whole and len(options.inputs) > 1:
        raise ToolError(whole[0], "a manifest, atlas or Aseprite document is packed on its own, without other inputs")
    if not whole:
        return png_plan(options, batch)
    if whole[0].suffix.lower() == ".json":
        return manifest_plan(whole[0], options, batch)
    return aseprite_plan(whole[0], options, batch)


def read_offsets(options: PackOptions, frames: list[FrameEntry]) -> list[tuple[int, int]] | None:
    if options.offsets is None:
        return None
    file = options.offsets_file
    source = "--offsets" if file is None else file
    entries = parse_json(options.offsets, source) if file is None else load_json(file)
    try:
        if isinstance(entries, dict):
            # A manifest, an atlas, or the atlas of ravir 0.8 and before.
            entries = entries["ravir"]["frames"] if isinstance(entries.get("ravir"), dict) else entries["frames"]
        offsets = [(e["offset_x"], e["offset_y"]) if isinstance(e, dict) else tuple(e) for e in entries]
    except (ValueError, KeyError, TypeError) as error:
        raise ToolError(source, f"not a list of offsets: {excerpt(str(error))}") from None
    if len(offsets) != len(frames):
        # Name the frame where they part, which is often a file that is no frame at all.
        beyond = frames[len(offsets)] if len(offsets) < len(frames) else None
        where = f": the first frame without one is {beyond.image}" if beyond is not None and beyond.image else ""
        raise ToolError(source, f"gives {len(offsets)} offsets for {len(frames)} frames{where}")
    for number, pair in enumerate(offsets):
        if len(pair) != 2 or not all(isinstance(v, int) and v in limits.OFFSETS for v in pair):
            raise ToolError(source, f"offset {number} is {list(pair)}, not two whole numbers from -32768 to 32767")
    return offsets


def read_shadows(argument: str | None, count: int) -> set[int] | None:
    if argument is None:
        return None
    try:
        shadows = {int(part) for part in argument.split(",") if part.strip()}
    except ValueError:
        raise ToolError("--shadow", f"{argument!r} is not a list of frame numbers") from None
    beyond = sorted(n for n in shadows if n not in range(count))
    if beyond:
        raise ToolError("--shadow", f"there is no frame {beyond[0]} among the {count} frames")
    return shadows


def apply_options(frames: list[FrameEntry], options: PackOptions) -> None:
    offsets = read_offsets(options, frames)
    shadows = read_shadows(options.shadow, len(frames))
    for number, entry in enumerate(frames):
        if offsets is not None:
            entry.x_offset, entry.y_offset = offsets[number]
        if shadows is not None:
            entry.shadow = number in shadows


def stored_root(location: str | None, palette: Path | None) -> Path | None:
    """The folder that `location` is relative to, when the palette found for it lies
    at that path below it."""
    if not location or palette is None:
        return None
    palette = Path(os.path.abspath(palette))
    parts = PurePosixPath(location).parts
    if ".." in parts or PurePosixPath(location).is_absolute() or len(parts) >= len(palette.parts):
        return None
    if tuple(palette.parts[-len(parts):]) != parts:
        return None
    return Path(*palette.parts[:-len(parts)])


def described_plan(path: Path, frames: list[FrameEntry], speed: int, background: bool, palette_file: Path | None,
                   location: str | None, options: PackOptions, **more) -> Plan:
    """The plan for what a file describes whole, with the options given in its place."""
    palette = options.palette or palette_file
    if palette is None:
        raise ToolError(path, "names no palette file: give one with --palette")
    apply_options(frames, options)
    keep_location = options.palette is None and options.root is None and location is not None
    return Plan(frames=frames, speed=speed if options.speed is None else options.speed,
                background=background if options.background is None else options.background,
                palette=palette, location=location if keep_location else None,
                root=options.root or game_root(location, palette, palette_file), recorded=location, source=path,
                **more)


def game_root(location: str | None, palette: Path, recorded_file: Path | None) -> Path | None:
    """The folder that makes the palette's stored location the one recorded: the one
    above `palette` at that location (found again after the game folder moved); else,
    for another palette, the folder the recorded file lies below, while it is there."""
    found = stored_root(location, palette)
    if found is None and recorded_file is not None and recorded_file.is_file():
        found = stored_root(location, recorded_file)
    return found


def manifest_plan(path: Path, options: PackOptions, batch: Batch) -> Plan:
    described = read_described(path)
    for entry in described.frames:
        if entry.image is not None and entry.name is None:  # a frame's own image, not a sheet's
            resize_to_image(entry, described.scale, options, batch)
    return described_plan(path, described.frames, described.speed, described.background, described.palette_file,
                          described.palette_location, options, described=described)


def aseprite_plan(path: Path, options: PackOptions, batch: Batch) -> Plan:
    imported = from_document.read(path, options.pixel_limit)
    for warning in imported.warnings:
        batch.warn(path, warning)
    return described_plan(path, imported.frames, imported.speed, imported.background, imported.palette_file,
                          imported.palette_location, options, colors=imported.colors)


def resize_to_image(entry: FrameEntry, scale: int, options: PackOptions, batch: Batch) -> None:
    """A frame whose image an editor made larger or smaller takes the image's size,
    its top-left corner kept at its offsets, or at those the PNG says where the
    editor kept them; one line says so. The reader names an image it cannot open."""
    try:
        image = open_image(entry.image, options.pixel_limit)
    except ToolError:
        return
    with image, open(entry.image, "rb") as stream:
        if image.size == (entry.width * scale, entry.height * scale):
            return
        if image.width % scale or image.height % scale:
            raise ToolError(entry.image, f"is {image.width}x{image.height}, which is not made of the render's "
                                         f"{scale}x{scale} blocks")
        check_frame_size(entry.image, image.width // scale, image.height // scale)
        said = said_offsets(png_chunks.self_description(image, entry.image, stream))
    before = f"{entry.width * scale}x{entry.height * scale}"
    entry.width, entry.height = image.width // scale, image.height // scale
    if said is not None:
        entry.x_offset, entry.y_offset = said
    if not options.quiet:
        batch.say(f"{entry.image}: is {image.width}x{image.height}, not {before} as rendered: its frame is taken "
                  f"at {entry.width}x{entry.height}, its top-left corner at offsets ({entry.x_offset}, "
                  f"{entry.y_offset})" + (", as the PNG says" if said is not None else ""))


def check_frame_size(path: Path, width: int, height: int) -> None:
    if width > limits.MAX_FRAME_WIDTH or height > limits.MAX_FRAME_HEIGHT:
        raise ToolError(path, f"is {width}x{height}, but a frame is at most "
                              f"{limits.MAX_FRAME_WIDTH}x{limits.MAX_FRAME_HEIGHT}")


def said_offsets(said: dict) -> tuple[int, int] | None:
    """The offsets a PNG's own description gives, when it gives both in range."""
    if all(isinstance(said.get(k), int) and said[k] in limits.OFFSETS for k in ("offset_x", "offset_y")):
        return said["offset_x"], said["offset_y"]
    return None


def png_frame(path: Path, limit: limits.PixelLimit, warn) -> tuple[FrameEntry, bool]:
    """A PNG frame as its own text describes it, and whether it says it is the
    background frame."""
    with open_image(path, limit, warn) as image, open(path, "rb") as stream:
        check_frame_size(path, image.width, image.height)
        said = png_chunks.self_description(image, path, stream)
        entry = FrameEntry(image.width, image.height, 0, 0, said.get("shadow") is True, image=path)
        offsets = said_offsets(said)
        if offsets is not None:
            entry.x_offset, entry.y_offset = offsets
        entry.render = said.get("render") if said.get("render") in RENDER_MODES else None
        gap = said.get("gap_index")
        entry.gap_index = gap if isinstance(gap, int) and gap in range(256) else None
        return entry, said.get("background") is True


def png_plan(options: PackOptions, batch: Batch) -> Plan | None:
    """The plan for PNG frames; None when some could not be read, each named. PNGs
    given one by one are all frames; a folder gives those that are not render's
    sheets and masks."""
    named = {Path(argument) for argument in options.inputs}
    inputs = [item for item in InputFiles(options.inputs, ".png")
              if item.path in named or not is_render_extra(item.path)]
    if not inputs:
        raise ToolError(" ".join(options.inputs), "no PNG frames found")
    if options.palette is None:
        raise ToolError("--palette", "is needed to pack PNG frames (a manifest names its own)")
    described = []
    for item in inputs:
        try:
            described.append(png_frame(item.path, options.pixel_limit, batch.warn))
        except ToolError as error:
            batch.fail(error)
    if batch.failed:
        return None
    frames = [entry for entry, _ in described]
    apply_options(frames, options)
    background = described[-1][1] if options.background is None else options.background
    return Plan(frames=frames, speed=0 if options.speed is None else options.speed, background=background,
                palette=options.palette, location=None, root=options.root)
