"""`ravir pack`: a new animation from what `ravir render` wrote (its manifest, a
sheet's atlas, or an Aseprite document), or from PNG frames and a palette."""

from __future__ import annotations

import argparse
import json
import os
from dataclasses import dataclass
from pathlib import Path, PurePosixPath

from PIL import Image

from ravir_tools import _native, animation, aseprite_import, atomic_file, frame_chunks, manifest
from ravir_tools.batch import Batch, Found, Input
from ravir_tools.errors import ToolError
from ravir_tools.frame_sources import MAX_FRAME_PIXELS, FrameReader, Originals, open_image
from ravir_tools.indexing import Indexed
from ravir_tools.manifest import INT16, FrameEntry
from ravir_tools.parsing import add_command

EXAMPLES = """\
  ravir pack out/walk.json -o game/anim/walk.orv          # the manifest of `ravir render`: nothing else needed
  ravir pack out/walk_sheet.json -o game/anim/walk.orv    # a sheet, through its atlas
  ravir pack out/walk.aseprite -o game/anim/walk.orv      # edited in Aseprite after `render --aseprite`
  ravir pack walk_*.png --palette game/pal/a.pal -o game/anim/walk.orv --root game
  ravir pack frames/ --palette a.pal -o walk.orv --nearest --speed 8 --shadow 4,5

A manifest or atlas gives the palette, speed, background, every frame's offsets and
shadow flag, frames without pixels, and the palette's stored location; options
given override it. Indexed PNGs give their indices as they are. A PNG in color
keeps, at every pixel whose color is the one rendered there, the index it had (read
from the source animation the manifest names, when it is unchanged); every other
pixel with alpha 0 is a gap and the rest take the index of their exact color in the
palette (the first of several), or with --nearest of the closest one.

An Aseprite document that `render --aseprite` wrote gives the same as a manifest,
with each frame's offsets moved as far as its cel was moved; pixels of the
transparent index are gaps. One drawn from scratch (indexed) gives the cels of its
first visible layer, at offsets that are their places, and the speed of its
frames' durations; it needs --palette.

PNG frames without a manifest give their offsets, shadow flag and gap index from
the text ravir wrote into them, when an editor kept it. Folders give their .png
files in natural order (frame_2 before frame_10). The animation names its palette
by its path relative to --root, which must be a folder above the animation's for
the file to find its palette; the palette file is not changed. --offsets takes
JSON, inline or as a file: one [x, y] pair or {"offset_x": x, "offset_y": y} per
frame, or a manifest or atlas. When anything fails, each is named and nothing is
written.
"""


WHOLE = (".json", ".aseprite", ".ase")  # inputs that describe a whole animation


def register(commands) -> None:
    parser = add_command(commands, "pack", "build an animation from rendered or edited frames",
                         "Builds an animation file from the manifest, atlas or Aseprite document that "
                         "`ravir render` wrote, or from PNG images, one frame each, in the order given.", EXAMPLES)
    parser.add_argument("frames", nargs="+", metavar="INPUT",
                        help="a manifest or atlas (.json) that `ravir render` wrote, an indexed Aseprite document "
                             "(.aseprite, .ase), or PNG images or folders")
    parser.add_argument("-o", "--output", required=True, type=Path, metavar="FILE", help="animation file to write")
    parser.add_argument("--palette", type=Path, metavar="PAL",
                        help="palette the frames index into, in any format `ravir palette` reads "
                             "(needed for PNGs and documents drawn from scratch; default: the manifest's)")
    parser.add_argument("--root", type=Path, metavar="DIR",
                        help="folder the palette's stored path is relative to (default: as the manifest "
                             "stored it, else the nearest folder above both the output and the palette)")
    parser.add_argument("--nearest", action="store_true", help="map colors not in the palette to the nearest entry")
    parser.add_argument("--offsets", metavar="JSON", help="the frames' offsets, as JSON text or a JSON file")
    parser.add_argument("--speed", type=int, metavar="N", help="animation speed, stored as is (default: the "
                                                              "manifest's or document's, else 0)")
    parser.add_argument("--shadow", metavar="LIST", help="comma-separated frame numbers (from 0) to store as "
                                                        "shadow frames, and no others")
    parser.add_argument("--background", action=argparse.BooleanOptionalAction,
                        help="store the last frame as the background frame (default: as the manifest or the "
                             "PNG of the last frame says)")
    parser.add_argument("-q", "--quiet", action="store_true", help="print nothing but problems")
    parser.set_defaults(run=run)


@dataclass
class Plan:
    """What to build, from a manifest or from the PNGs themselves."""

    frames: list[FrameEntry]
    speed: int
    background: bool
    palette: Path
    location: str | None  # the palette location to store as it is; None: from `root`
    root: Path | None
    described: manifest.Manifest | None = None  # the manifest or atlas, when packing one
    source: Path | None = None  # the manifest, atlas or document the plan was read from
    colors: list | None = None  # the colors the frames were drawn with, when the source holds them


def read_offsets(argument: str | None, frames: list[FrameEntry]) -> list[tuple[int, int]] | None:
    if argument is None:
        return None
    source = "--offsets"
    text = argument
    if argument.lstrip()[:1] not in ("[", "{"):
        source = argument
        try:
            text = Path(argument).read_text()
        except OSError as error:
            raise ToolError(argument, f"cannot read: {error.strerror}") from None
    try:
        entries = json.loads(text)
        if isinstance(entries, dict):
            # A manifest, an atlas, or the atlas of ravir 0.8 and before.
            entries = entries["ravir"]["frames"] if isinstance(entries.get("ravir"), dict) else entries["frames"]
        offsets = [(e["offset_x"], e["offset_y"]) if isinstance(e, dict) else tuple(e) for e in entries]
    except (ValueError, KeyError, TypeError) as error:
        raise ToolError(source, f"not a list of offsets: {error}") from None
    if len(offsets) != len(frames):
        # Name the frame where they part, which is often a file that is no frame at all.
        beyond = frames[len(offsets)] if len(offsets) < len(frames) else None
        where = f": the first frame without one is {beyond.image}" if beyond is not None and beyond.image else ""
        raise ToolError(source, f"gives {len(offsets)} offsets for {len(frames)} frames{where}")
    for number, pair in enumerate(offsets):
        if len(pair) != 2 or not all(isinstance(v, int) and v in INT16 for v in pair):
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


def apply_options(frames: list[FrameEntry], args) -> None:
    offsets = read_offsets(args.offsets, frames)
    shadows = read_shadows(args.shadow, len(frames))
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
    parts = PurePosixPath(location).parts
    if ".." in parts or PurePosixPath(location).is_absolute() or len(parts) >= len(palette.parts):
        return None
    if tuple(palette.parts[-len(parts):]) != parts:
        return None
    return Path(*palette.parts[:-len(parts)])


def described_plan(path: Path, frames: list[FrameEntry], speed: int, background: bool, palette_file: Path | None,
                   location: str | None, args, **more) -> Plan:
    """The plan for what a file describes whole, with the options given in its place."""
    palette = args.palette or palette_file
    if palette is None:
        raise ToolError(path, "names no palette file: give one with --palette")
    apply_options(frames, args)
    keep_location = args.palette is None and args.root is None and location is not None
    return Plan(frames=frames, speed=speed if args.speed is None else args.speed,
                background=background if args.background is None else args.background,
                palette=palette, location=location if keep_location else None,
                root=args.root or stored_root(location, palette_file), source=path, **more)


def manifest_plan(path: Path, args) -> Plan:
    described = manifest.read(path)
    return described_plan(path, described.frames, described.speed, described.background, described.palette_file,
                          described.palette_location, args, described=described)


def aseprite_plan(path: Path, args, batch: Batch) -> Plan:
    found = aseprite_import.read(path)
    for warning in found.warnings:
        batch.warn(path, warning)
    return described_plan(path, found.frames, found.speed, found.background, found.palette_file,
                          found.palette_location, args, colors=found.colors)


def describe_png(path: Path) -> tuple[FrameEntry, bool]:
    """A PNG frame as its own text describes it, and whether it says it is the
    background frame."""
    with open_image(path) as image:
        if image.width > 0xFFFF or image.height > 0x7FFF:
            raise ToolError(path, f"is {image.width}x{image.height}, but a frame is at most 65535x32767")
        said = frame_chunks.description(image, path)
        entry = FrameEntry(image.width, image.height, 0, 0, said.get("shadow") is True, image=path)
        if all(isinstance(said.get(k), int) and said[k] in INT16 for k in ("offset_x", "offset_y")):
            entry.x_offset, entry.y_offset = said["offset_x"], said["offset_y"]
        entry.render = said.get("render") if said.get("render") in manifest.RENDER_MODES else None
        gap = said.get("gap_index")
        entry.gap_index = gap if isinstance(gap, int) and gap in range(256) else None
        return entry, said.get("background") is True


def is_render_extra(path: Path) -> bool:
    """Whether `path` is one of the files `ravir render` writes beside the frames of
    an animation (a sheet, a gap mask), which a folder of frames must not count."""
    return path.name.endswith(("_sheet.png", ".mask.png"))


def png_plan(args, batch: Batch) -> Plan | None:
    """The plan for PNG frames; None when some could not be read, each named. PNGs
    given one by one are all frames; a folder gives those that are not render's
    sheets and masks."""
    named = {Path(argument) for argument in args.frames}
    inputs = [item for item in Found(args.frames, ".png")
              if item.path in named or not is_render_extra(item.path)]
    if not inputs:
        raise ToolError(" ".join(args.frames), "no PNG frames found")
    if args.palette is None:
        raise ToolError("--palette", "is needed to pack PNG frames (a manifest names its own)")
    described = []
    for item in inputs:
        try:
            described.append(describe_png(item.path))
        except ToolError as error:
            batch.fail(error)
    if batch.failed:
        return None
    frames = [entry for entry, _ in described]
    apply_options(frames, args)
    background = described[-1][1] if args.background is None else args.background
    return Plan(frames=frames, speed=0 if args.speed is None else args.speed, background=background,
                palette=args.palette, location=None, root=args.root)


def read_frames(plan: Plan, reader: FrameReader, batch: Batch) -> list[Indexed]:
    """Every frame that could be read, in order under the progress bar (one after
    the other: the reader keeps a sheet open for all its frames); each failure named
    once, however many frames it stopped (a missing sheet is one failure)."""
    frames: list[Indexed] = []
    said: set[str] = set()

    def read(item, report) -> None:
        # Each input is named by its frame's number.
        number = int(item.stem)
        try:
            report.result = reader.read(number, plan.frames[number])
        except ToolError as error:
            report.failed = True
            if str(error) not in said:
                said.add(str(error))
                report.lines.append((True, str(error)))

    batch.inputs = [Input(str(entry.image or f"frame {number}"), str(number))
                    for number, entry in enumerate(plan.frames)]
    batch.run(read, frames.append)
    return frames


def encode(plan: Plan, frames: list[Indexed], root: Path, batch: Batch) -> bytes | None:
    """The animation's bytes; None when some frame cannot be stored, each named."""
    writer = _native.AnimationWriter(plan.speed, plan.background)
    for number, (entry, frame) in enumerate(zip(plan.frames, frames)):
        if entry.x_offset not in INT16 or entry.y_offset not in INT16:
            # Only a moved cel gets here: every other source is checked as it is read.
            batch.fail(ToolError(entry.image or plan.source, f"frame {number}: its offsets ({entry.x_offset}, "
                                                             f"{entry.y_offset}) are not from -32768 to 32767"))
            continue
        try:
            writer.add_frame(frame.width, frame.height, frame.indices, frame.opaque, entry.x_offset,
                             entry.y_offset, entry.shadow)
        except ValueError as error:
            batch.fail(ToolError(entry.image or plan.source, f"frame {number}: {error}"))
    if batch.failed:
        return None
    location = plan.location
    if location is None:
        location = _native.stored_location(str(root), os.path.abspath(plan.palette))
    try:
        return writer.encode(location)
    except ValueError as error:
        raise ToolError(plan.source or "--background", str(error)) from None


def pack(plan: Plan, args, batch: Batch) -> int:
    """Reads every frame of `plan` and writes the animation, only when all is well.
    Writes the animation only: the palette it names is the user's and stays as it is."""
    palette = animation.read_palette(plan.palette, batch.warn)
    if plan.colors is not None:
        differ = [i for i, (a, b) in enumerate(zip(plan.colors, palette.colors)) if a[:3] != b[:3]]
        if differ:
            batch.warn(plan.source, f"its palette differs from {plan.palette} in {len(differ)} entries (the first is "
                                    f"{differ[0]}): the animation keeps the indices drawn, with the colors of "
                                    f"{plan.palette}, which stays as it is")
    originals = Originals(plan.described, palette, batch.warn) if plan.described else None
    scale = plan.described.scale if plan.described else 1
    reader = FrameReader(palette, args.nearest, scale, originals, batch.warn)
    frames = read_frames(plan, reader, batch)
    if batch.failed:
        return 1
    root = Path(os.path.abspath(plan.root if plan.root is not None else
                                os.path.commonpath([os.path.abspath(args.output.parent),
                                                    os.path.abspath(plan.palette.parent)])))
    data = encode(plan, frames, root, batch)
    if data is None:
        return 1
    try:
        args.output.parent.mkdir(parents=True, exist_ok=True)
        atomic_file.write_bytes(args.output, data)
    except OSError as error:
        raise ToolError(args.output, f"cannot write: {error.strerror}") from None
    if not args.quiet:
        print(f"{args.output}: {len(plan.frames)} frames"
              + (" (the last the background)" if plan.background else "") + f", palette {plan.palette}")
    if palette.format != "pal":
        batch.warn(args.output, f"it names its palette {plan.palette}, which the game cannot read, as it reads "
                                f"only its own format: convert it (`ravir palette {plan.palette} -o NAME.pal`) "
                                "and pack with that")
    elif animation.load(args.output).palette_error:
        batch.warn(args.output, "it does not find its palette from its folder: "
                                + (f"{root} is not above it" if plan.location is None else
                                   f"{plan.location!r} is not below a folder above it"))
    return 0


def run(args) -> int:
    batch = Batch("ravir pack", [])
    Image.MAX_IMAGE_PIXELS = MAX_FRAME_PIXELS  # any frame the format holds; Pillow refuses larger images
    try:
        if args.speed is not None and args.speed not in range(2**32):
            raise ToolError("--speed", f"{args.speed} is not from 0 to 4294967295")
        whole = [Path(argument) for argument in args.frames if argument.lower().endswith(WHOLE)]
        if whole and len(args.frames) > 1:
            raise ToolError(whole[0], "a manifest, atlas or Aseprite document is packed on its own, without other "
                                      "inputs")
        if not whole:
            plan = png_plan(args, batch)
        elif whole[0].suffix.lower() == ".json":
            plan = manifest_plan(whole[0], args)
        else:
            plan = aseprite_plan(whole[0], args, batch)
        if plan is None:
            return 1
        return pack(plan, args, batch)
    except ToolError as error:
        batch.say(str(error))
        return 1
