"""`ravir render`: every frame as a PNG, and on request a sprite sheet with its
atlas, an Aseprite document and animated previews (render_outputs.py writes them)."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

from ravir_tools import animation, output_folder
from ravir_tools.batch import Batch, Input, InputFiles, Report
from ravir_tools.commands.arguments import (add_jobs, add_max_pixels, add_palette, add_quiet, non_negative_int,
                                            positive_int)
from ravir_tools.errors import ToolError
from ravir_tools.exchange.names import claimed, names_nothing
from ravir_tools.frames.sheet_layout import LAYOUTS, SheetLayout
from ravir_tools.output_lock import locked
from ravir_tools.palettes.registry import Palette, read_palette
from ravir_tools.render_outputs import RenderOptions, render_animation
from ravir_tools.wording import counted

NAME = "render"
SUMMARY = "write frames as PNG images, sheets and previews"
DESCRIPTION = ("Renders every frame of each animation as a PNG (RGBA, or with --indexed the palette indices "
               "themselves) and writes a manifest, NAME.json, that `ravir pack` builds the animation back from. "
               "Folders are searched for .orv files.")
EXAMPLES = """\
  ravir render anim/walk.orv -o out/             # out/walk_000.png, ... and the manifest out/walk.json
  ravir render anim/walk.orv -o out/ --indexed   # indexed PNGs to edit; then: ravir pack out/walk.json -o new.orv
  ravir render game/anim -o out/ --sheet --gif   # plus walk_sheet.png, its atlas walk_sheet.json, walk.gif
  ravir render anim/walk.orv -o out/ --aseprite  # plus out/walk.aseprite; then: ravir pack out/walk.aseprite -o new.orv
  ravir render walk.orv -o out/ --apng --scale 4 --palette pal/night.pal

Files found in a folder keep their place below it: game/anim/a/x.orv gives out/a/x_000.png.
Previews place each frame's top-left corner at its offsets from a common origin;
--flip-offsets takes the offsets as the origin's place inside the frame instead.
"""


@dataclass(frozen=True)
class Options:
    files: list[str]
    output: Path
    render: RenderOptions
    palette: Path | None = None
    jobs: int = 1
    quiet: bool = False


def add_arguments(parser) -> None:
    parser.add_argument("files", nargs="+", metavar="FILE", help="animation files or folders")
    parser.add_argument("-o", "--output", required=True, type=Path, metavar="DIR", help="folder to write into")
    parser.add_argument("--indexed", action="store_true",
                        help="write palette-indexed PNGs holding each pixel's palette index exactly")
    parser.add_argument("--sheet", action="store_true", help="also write a sprite sheet and its JSON atlas")
    parser.add_argument("--sheet-layout", choices=LAYOUTS, default="packed",
                        help="packed: each frame in a cell of its own size, packed tight (default); grid: cells of "
                             "the largest frame's size, row by row")
    parser.add_argument("--padding", type=non_negative_int, default=1, metavar="N",
                        help="pixels between the cells of the sheet (default 1)")
    parser.add_argument("--sheet-width", type=positive_int, metavar="PX", help="the packed sheet's most width")
    parser.add_argument("--columns", type=positive_int, metavar="N",
                        help="cells per row of the grid (default: the square root of the frame count)")
    parser.add_argument("--aseprite", action="store_true",
                        help="also write an indexed Aseprite document, NAME.aseprite, a frame per frame, each "
                             "lasting the speed in milliseconds (not scaled)")
    parser.add_argument("--gif", action="store_true", help="also write an animated GIF preview")
    parser.add_argument("--apng", action="store_true", help="also write an animated PNG preview (lossless)")
    add_palette(parser, "use this palette instead of the file's")
    parser.add_argument("--scale", type=positive_int, default=1, metavar="N",
                        help="enlarge N times, nearest neighbour (default 1)")
    parser.add_argument("--flip-offsets", action="store_true", help="negate the offsets when aligning previews")
    parser.add_argument("--duration", type=positive_int, metavar="MS",
                        help="milliseconds per preview frame and in the atlas (default: the speed in milliseconds, "
                             "from 1 to 65535, as in the Aseprite document)")
    parser.add_argument("--compress-level", type=int, choices=range(10), default=6, metavar="0-9",
                        help="PNG compression: 0 is fastest and largest, 9 smallest and slowest (default 6)")
    parser.add_argument("-v", "--verbose", action="store_true", help="print each file written")
    add_quiet(parser)
    add_max_pixels(parser)
    add_jobs(parser)


def options(args) -> Options:
    layout = SheetLayout(args.sheet_layout, args.padding, args.sheet_width, args.columns)
    render = RenderOptions(indexed=args.indexed, sheet=args.sheet, sheet_layout=layout, aseprite=args.aseprite,
                           gif=args.gif, apng=args.apng, scale=args.scale, flip_offsets=args.flip_offsets,
                           duration=args.duration, compress_level=args.compress_level, verbose=args.verbose,
                           max_pixels=args.max_pixels)
    return Options(args.files, args.output, render, args.palette, args.jobs, args.quiet)


class RenderFile:
    """The work on one animation: loaded, and its outputs written below the output
    folder in the place it was found in."""

    def __init__(self, output: Path, render: RenderOptions, palette: Palette | None):
        self.output, self.render, self.palette = output, render, palette

    def __call__(self, item: Input, report: Report) -> None:
        if names_nothing(item.stem):
            raise ToolError(item.path, f"its name leaves nothing to name its outputs by: they would lie outside "
                                       f"{self.output}; rename it")
        if item.clash is not None:
            raise ToolError(item.path, f"its outputs in {self.output} would take the names of those of "
                                       f"{item.clash}: rename one of them")
        anim = animation.load(item.path, self.palette, item.game)
        animation.tell_ignored_case(anim, report)
        report.result = len(render_animation(anim, self.output / item.name, self.render, report).files)


def run(options: Options) -> int:
    files = InputFiles(options.files, ".orv", lambda stem: claimed(stem, options.render.sheet))
    batch = Batch("ravir render", files, options.jobs)
    palette = read_palette(options.palette, batch.warn) if options.palette is not None else None
    output_folder.prepare(options.output)
    written: list[int] = []  # the files of each animation rendered
    with locked(options.output, f"ravir render {' '.join(options.files)}"):
        status = batch.run(RenderFile(options.output, options.render, palette), written.append)
    if not options.quiet:
        batch.say(f"wrote {counted(sum(written), 'file')} into {options.output} from "
                  f"{counted(len(written), 'animation')}, {batch.failed} failed")
    return status
