"""`ravir pack`: a new animation from PNG frames and a palette."""

from __future__ import annotations

import itertools
import json
import os
from pathlib import Path

from PIL import Image, UnidentifiedImageError

from ravir_tools import _native, animation, atomic_file
from ravir_tools.batch import Batch, expand
from ravir_tools.errors import ToolError
from ravir_tools.indexing import BadColor, PaletteIndex
from ravir_tools.parsing import add_command

EXAMPLES = """\
  ravir pack walk_*.png --palette game/pal/a.pal -o game/anim/walk.orv --root game
  ravir pack frames/ --palette a.pal -o walk.orv --nearest --speed 8 --shadow 4,5
  ravir pack frames/ --palette a.pal -o walk.orv --offsets out/walk_sheet.json

Each pixel with alpha 0 is a gap; every other pixel becomes the index of its exact
color (r, g, b and a) in the palette, or with --nearest of the closest one. Folders
give their .png files in natural order (frame_2 before frame_10). The animation
names its palette by its path relative to --root, which must be a folder above the
animation's for the file to find its palette; the palette file is not changed.
--offsets takes JSON, inline or as a file: one [x, y] pair or
{"offset_x": x, "offset_y": y} per frame, or the atlas that `render --sheet` writes.
When any frame fails, each is named and nothing is written.
"""

INT16 = range(-32768, 32768)


def register(commands) -> None:
    parser = add_command(commands, "pack", "build an animation from PNG frames",
                         "Builds an animation file from RGBA images, one frame each, in the order given.",
                         EXAMPLES)
    parser.add_argument("frames", nargs="+", metavar="FRAME", help="PNG images or folders of them")
    parser.add_argument("--palette", required=True, type=Path, metavar="PAL",
                        help="palette the frames index into (any format `ravir palette` reads)")
    parser.add_argument("-o", "--output", required=True, type=Path, metavar="FILE", help="animation file to write")
    parser.add_argument("--root", type=Path, metavar="DIR",
                        help="folder the palette's stored path is relative to "
                             "(default: the nearest folder above both the output and the palette)")
    parser.add_argument("--nearest", action="store_true", help="map colors not in the palette to the nearest entry")
    parser.add_argument("--offsets", metavar="JSON", help="the frames' offsets, as JSON text or a JSON file")
    parser.add_argument("--speed", type=int, default=0, metavar="N", help="animation speed, stored as is (default 0)")
    parser.add_argument("--shadow", default="", metavar="LIST",
                        help="comma-separated frame numbers (from 0) to store as shadow frames")
    parser.set_defaults(run=run)


def read_offsets(argument: str | None, count: int) -> list[tuple[int, int]]:
    if argument is None:
        return [(0, 0)] * count
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
            entries = entries["frames"]
        offsets = [(e["offset_x"], e["offset_y"]) if isinstance(e, dict) else tuple(e) for e in entries]
    except (ValueError, KeyError, TypeError) as error:
        raise ToolError(source, f"not a list of offsets: {error}") from None
    if len(offsets) != count:
        raise ToolError(source, f"gives {len(offsets)} offsets for {count} frames")
    for number, pair in enumerate(offsets):
        if len(pair) != 2 or not all(isinstance(v, int) and v in INT16 for v in pair):
            raise ToolError(source, f"offset {number} is {list(pair)}, not two whole numbers from -32768 to 32767")
    return offsets


def read_shadows(argument: str, count: int) -> set[int]:
    try:
        shadows = {int(part) for part in argument.split(",") if part.strip()}
    except ValueError:
        raise ToolError("--shadow", f"{argument!r} is not a list of frame numbers") from None
    beyond = sorted(n for n in shadows if n not in range(count))
    if beyond:
        raise ToolError("--shadow", f"there is no frame {beyond[0]} among the {count} frames")
    return shadows


def write(writer, args, root: Path) -> None:
    """Writes the animation only: the palette it names is the user's and stays as it is."""
    location = _native.stored_location(str(root), os.path.abspath(args.palette))
    try:
        data = writer.encode(location)
    except ValueError as error:
        raise ToolError(args.output, f"cannot write: {error}") from None
    try:
        args.output.parent.mkdir(parents=True, exist_ok=True)
        atomic_file.write_bytes(args.output, data)
    except OSError as error:
        raise ToolError(args.output, f"cannot write: {error.strerror}") from None


def run(args) -> int:
    batch = Batch("ravir pack", expand(args.frames, ".png"))
    try:
        if not batch.inputs:
            raise ToolError(" ".join(args.frames), "no PNG frames found")
        if args.speed not in range(2**32):
            raise ToolError("--speed", f"{args.speed} is not from 0 to 4294967295")
        source = animation.read_palette(args.palette)
        offsets = read_offsets(args.offsets, len(batch.inputs))
        shadows = read_shadows(args.shadow, len(batch.inputs))
    except ToolError as error:
        batch.say(str(error))
        return 1

    palette = PaletteIndex(source.colors, args.nearest)
    writer = _native.AnimationWriter(args.speed)
    numbers = itertools.count()  # the batch takes the frames in order

    def add(item, report) -> None:
        number = next(numbers)
        animation.check_readable(item.path)
        try:
            with Image.open(item.path) as image:
                frame = palette.index(image, number in shadows)
        except (OSError, UnidentifiedImageError) as error:
            raise ToolError(item.path, f"cannot read the image: {error}") from None
        except BadColor as error:
            raise ToolError(item.path, f"{error} {args.palette} (try --nearest)") from None
        try:
            writer.add_frame(frame.width, frame.height, frame.indices, frame.opaque,
                             *offsets[number], number in shadows)
        except ValueError as error:
            raise ToolError(item.path, str(error)) from None

    if batch.run(add):
        return 1  # each bad frame has been named; nothing is written
    root = Path(os.path.abspath(args.root if args.root is not None else
                                os.path.commonpath([os.path.abspath(args.output.parent),
                                                    os.path.abspath(args.palette.parent)])))
    try:
        write(writer, args, root)
        if source.format != "pal":
            batch.warn(args.output, f"it names its palette {args.palette}, which the game cannot read, as it reads "
                                    f"only its own format: convert it (`ravir palette {args.palette} -o NAME.pal`) and "
                                    "pack with that")
        elif animation.load(args.output).palette_error:
            batch.warn(args.output, f"it does not find its palette from its folder: {root} is not above it")
    except ToolError as error:
        batch.say(str(error))
        return 1
    return 0
