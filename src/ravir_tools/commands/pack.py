"""`ravir pack`: a new animation from what `ravir render` wrote (its manifest, a
sheet's atlas, or an Aseprite document), or from PNG frames and a palette. The
plan of what to build comes from pack_inputs.py; this module reads its frames,
encodes the animation and writes it."""

from __future__ import annotations

import argparse
import os
from pathlib import Path

from ravir_tools import _native, animation, atomic_file, limits
from ravir_tools.batch import Batch, Input
from ravir_tools.commands.arguments import add_max_pixels, add_quiet
from ravir_tools.errors import ToolError
from ravir_tools.frames.color_lookup import Indexed
from ravir_tools.frames.sources import FrameReader, Originals
from ravir_tools.input_files import is_same_file
from ravir_tools.pack_inputs import PackOptions, Plan, plan
from ravir_tools.palettes.registry import Palette, read_palette
from ravir_tools.wording import counted

NAME = "pack"
SUMMARY = "build an animation from rendered or edited frames"
DESCRIPTION = ("Builds an animation file from the manifest, atlas or Aseprite document that `ravir render` wrote, "
               "or from PNG images, one frame each, in the order given.")
EXAMPLES = """\
  ravir pack out/walk.json -o game/anim/walk.orv          # the manifest of `ravir render`: nothing else needed
  ravir pack out/walk_sheet.json -o game/anim/walk.orv    # a sheet, through its atlas
  ravir pack out/walk.aseprite -o game/anim/walk.orv      # edited in Aseprite after `render --aseprite`
  ravir pack walk_*.png --palette game/pal/a.pal -o game/anim/walk.orv --root game
  ravir pack frames/ --palette a.pal -o walk.orv --nearest --speed 8 --shadow 4,5

A manifest or atlas gives the palette, speed, background, every frame's offsets and
shadow flag, frames without pixels, and the palette's stored location; options
given override it. Indexed PNGs in the palette (or the manifest's, for a palette
swap) give their indices as they are. Any other PNG, one whose palette an editor
rewrote too, keeps, at every pixel whose color is the one rendered there, the index
it had (read from the source animation the manifest names, when it is unchanged);
every other pixel with alpha 0 is a gap and the rest take the index of their exact
color in the palette (the first of several), or with --nearest of the closest one.
A frame's PNG resized in an editor gives the frame its new size, its top-left corner
kept; in a render with --scale N, a block is read as the one value that differs
from the render.

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


def add_arguments(parser) -> None:
    parser.add_argument("inputs", nargs="+", metavar="INPUT",
                        help="a manifest or atlas (.json) that `ravir render` wrote, an indexed Aseprite document "
                             "(.aseprite, .ase), or PNG images or folders")
    parser.add_argument("-o", "--output", required=True, type=Path, metavar="FILE", help="animation file to write")
    parser.add_argument("--palette", type=Path, metavar="PAL",
                        help="palette the frames index into, in any format `ravir palette` reads "
                             "(needed for PNGs and documents drawn from scratch; default: the manifest's)")
    parser.add_argument("--root", type=Path, metavar="DIR",
                        help="folder the palette's stored path is relative to (default: as the manifest "
                             "recorded it, else the nearest folder above both the output and the palette)")
    parser.add_argument("--nearest", action="store_true", help="map colors not in the palette to the nearest entry")
    parser.add_argument("--offsets", metavar="JSON", help="the frames' offsets, as JSON text or a JSON file")
    parser.add_argument("--speed", type=int, metavar="N", help="animation speed, stored as is (default: the "
                                                              "manifest's or document's, else 0)")
    parser.add_argument("--shadow", metavar="LIST", help="comma-separated frame numbers (from 0) to store as "
                                                        "shadow frames, and no others")
    parser.add_argument("--background", action=argparse.BooleanOptionalAction,
                        help="store the last frame as the background frame (default: as the manifest or the "
                             "PNG of the last frame says)")
    add_quiet(parser)
    add_max_pixels(parser)


def options(args) -> PackOptions:
    return PackOptions(args.inputs, args.output, args.palette, args.root, args.nearest, args.offsets, args.speed,
                       args.shadow, args.background, args.quiet, args.max_pixels)


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
        if entry.x_offset not in limits.OFFSETS or entry.y_offset not in limits.OFFSETS:
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
    if plan.recorded is not None and location != plan.recorded:
        batch.warn(plan.source, f"the animation names its palette {location!r}, where {plan.source.name} "
                                f"recorded {plan.recorded!r}")
    try:
        return writer.encode(location)
    except ValueError as error:
        raise ToolError(plan.source or "--background", str(error)) from None


def pack(plan: Plan, options: PackOptions, batch: Batch) -> int:
    """Reads every frame of `plan` and writes the animation, only when all is well.
    Writes the animation only: the palette it names is the user's and stays as it is."""
    palette = read_palette(plan.palette, batch.warn)
    if plan.colors is not None:
        differ = [i for i, (a, b) in enumerate(zip(plan.colors, palette.colors)) if a[:3] != b[:3]]
        if differ:
            batch.warn(plan.source, f"its palette differs from {plan.palette} in {len(differ)} entries (the first is "
                                    f"{differ[0]}): the animation keeps the indices drawn, with the colors of "
                                    f"{plan.palette}, which stays as it is")
    drawn_with = drawing_palette(plan, palette, options, batch)
    originals = Originals(plan.described, drawn_with, batch.warn) if plan.described else None
    scale = plan.described.scale if plan.described else 1
    reader = FrameReader([drawn_with, palette], options.nearest, scale, originals, batch.warn, options.pixel_limit)
    frames = read_frames(plan, reader, batch)
    if batch.failed:
        return 1
    if reader.repaletted and not options.quiet:
        batch.say(read_by_color(plan, reader.repaletted))
    root = (Path(os.path.abspath(plan.root)) if plan.root is not None
            else animation.default_root(options.output, plan.palette))
    data = encode(plan, frames, root, batch)
    if data is None:
        return 1
    try:
        options.output.parent.mkdir(parents=True, exist_ok=True)
        atomic_file.write_bytes(options.output, data)
    except OSError as error:
        raise ToolError(options.output, f"cannot write: {error.strerror}") from None
    if not options.quiet:
        print(f"{options.output}: {counted(len(plan.frames), 'frame')}"
              + (" (the last the background)" if plan.background else "") + f", palette {plan.palette}")
    if plan.source is None and options.speed is None:
        batch.warn(options.output, "stores speed 0, as PNG frames give none: --speed N sets it")
    if palette.format != "pal":
        batch.warn(options.output, f"it names its palette {plan.palette}, which the game cannot read, as it reads "
                                f"only its own format: convert it (`ravir palette {plan.palette} -o NAME.pal`) "
                                "and pack with that")
    elif not finds_palette(options.output):
        batch.warn(options.output, "it does not find its palette from its folder: "
                                + (f"{root} is not above it" if plan.location is None else
                                   f"{plan.location!r} is not below a folder above it"))
    return 0


def read_by_color(plan: Plan, images: list[Path]) -> str:
    """The line that names the indexed images that were read by color."""
    names = [str(path.name if plan.source else path) for path in images[:5]] + (["..."] if len(images) > 5 else [])
    return ((f"{plan.source}: " if plan.source else "") + ", ".join(names) + ": "
            + ("its palette is" if len(images) == 1 else "their palettes are")
            + " not the game's (GIMP and ImageMagick rewrite palettes): read by color")


def drawing_palette(plan: Plan, palette: Palette, options: PackOptions, batch: Batch) -> Palette:
    """The palette the frames were drawn with: the manifest's, when --palette gives
    another, so that the frames keep their indices in a palette swap; else `palette`."""
    recorded = plan.described.palette_file if plan.described else None
    if recorded is None or recorded == plan.palette or not recorded.is_file():
        return palette
    try:
        drawn_with = read_palette(recorded)
    except ToolError:
        return palette
    if drawn_with.colors == palette.colors:
        return palette
    if not options.quiet:
        batch.say(f"{plan.source}: its frames are read in {recorded}, the palette they were drawn with; the "
                  f"animation keeps their indices and the colors of {plan.palette}")
    return drawn_with


def finds_palette(path: Path) -> bool:
    try:
        return not animation.load(path).palette_error
    except ToolError:
        return False  # its location leads out of its folder: the tools would not follow it


def run(options: PackOptions) -> int:
    if options.speed is not None and options.speed not in limits.SPEEDS:
        raise ToolError("--speed", f"{options.speed} is not from 0 to 4294967295")
    batch = Batch("ravir pack", [])
    found = plan(options, batch)
    if found is None:
        return 1
    check_output(found, options)
    return pack(found, options, batch)


def check_output(plan: Plan, options: PackOptions) -> None:
    """Refuses an output that is one of the inputs (links followed): the animation
    would replace what it is built from."""
    inputs = [plan.source, plan.palette, options.offsets_file, *(entry.image for entry in plan.frames),
              *(entry.mask for entry in plan.frames)]
    same = next((path for path in inputs if path is not None and is_same_file(path, options.output)), None)
    if same is not None:
        raise ToolError(options.output, f"is {same}, one of the files this animation is packed from: "
                                        "give another -o")
