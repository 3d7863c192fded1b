"""`ravir render`: every frame as a PNG, and on request a sprite sheet with its
atlas and animated previews."""

from __future__ import annotations

import json
from pathlib import Path

from ravir_tools import animation, atomic_file, preview, sheet
from ravir_tools.batch import Batch, expand
from ravir_tools.errors import ToolError
from ravir_tools.images import frame_image, has_pixels, save_image
from ravir_tools.parsing import add_command, add_jobs, positive_int

EXAMPLES = """\
  ravir render anim/walk.orv -o out/             # out/walk_000.png, out/walk_001.png, ...
  ravir render game/anim -o out/ --sheet --gif   # plus walk_sheet.png, walk_sheet.json, walk.gif
  ravir render walk.orv -o out/ --apng --scale 4 --palette pal/night.pal

Files found in a folder keep their place below it: game/anim/a/x.orv gives out/a/x_000.png.
Previews place each frame's top-left corner at its offsets from a common origin;
--flip-offsets takes the offsets as the origin's place inside the frame instead.
"""


def register(commands) -> None:
    parser = add_command(commands, "render", "write frames as PNG images, sheets and previews",
                         "Renders every frame of each animation as an RGBA PNG. Folders are searched "
                         "for .orv files.", EXAMPLES)
    parser.add_argument("files", nargs="+", metavar="FILE", help="animation files or folders")
    parser.add_argument("-o", "--output", required=True, type=Path, metavar="DIR", help="folder to write into")
    parser.add_argument("--sheet", action="store_true", help="also write a sprite sheet and its JSON atlas")
    parser.add_argument("--gif", action="store_true", help="also write an animated GIF preview")
    parser.add_argument("--apng", action="store_true", help="also write an animated PNG preview (lossless)")
    parser.add_argument("--palette", type=Path, metavar="PAL", help="use this palette instead of the file's")
    parser.add_argument("--scale", type=positive_int, default=1, metavar="N",
                        help="enlarge N times, nearest neighbour (default 1)")
    parser.add_argument("--flip-offsets", action="store_true", help="negate the offsets when aligning previews")
    parser.add_argument("--duration", type=positive_int, default=100, metavar="MS",
                        help="milliseconds per preview frame (default 100)")
    parser.add_argument("--compress-level", type=int, choices=range(10), default=6, metavar="0-9",
                        help="PNG compression: 0 is fastest and largest, 9 smallest and slowest (default 6)")
    parser.add_argument("-v", "--verbose", action="store_true", help="print each file written")
    add_jobs(parser)
    parser.set_defaults(run=run)


def clashes(inputs, output: Path) -> dict[Path, Path]:
    """The inputs whose outputs would overwrite those of an earlier input: each
    mapped to the input that writes them first."""
    claimed: dict[Path, Path] = {}
    clashing = {}
    for item in inputs:
        first = claimed.setdefault(output / item.name, item.path)
        if first != item.path:
            clashing[item.path] = first
    return clashing


class Renderer:
    """The work on one animation; `clashing` is what clashes() found for the run."""

    def __init__(self, args, clashing: dict[Path, Path]):
        self.args = args
        self.clashing = clashing

    def output_base(self, item) -> Path:
        base = self.args.output / item.name
        if item.path in self.clashing:
            raise ToolError(item.path, f"its output {base}_* would overwrite that of {self.clashing[item.path]}")
        base.parent.mkdir(parents=True, exist_ok=True)
        return base

    def wrote(self, report, path: Path) -> None:
        if self.args.verbose:
            report.out(str(path))

    def __call__(self, item, report) -> None:
        args = self.args
        anim = animation.load(item.path, args.palette)
        if anim.palette_error:
            raise ToolError(item.path, anim.palette_error + " (name one with --palette)")
        for warning in anim.warnings:
            report.warn(item.path, warning)
        if not anim.images:
            report.warn(item.path, "holds no frames: nothing written")
            return
        images = [frame_image(frame, args.scale) for frame in anim.images]
        try:
            base = self.output_base(item)
            with atomic_file.together():
                self.write_all(report, base, images, anim)
        except OSError as error:
            raise ToolError(item.path, f"cannot write {error.filename or 'output'}: {error.strerror}") from None

    def write_all(self, report, base: Path, images, anim) -> None:
        """Every output of one animation: they take their places together."""
        args = self.args
        self.write_frames(report, base, images)
        if args.sheet:
            self.write_sheet(report, base, images, anim)
        previews = (args.gif or args.apng) and preview.canvases(
            images, anim.frames, anim.data.has_background, args.scale, args.flip_offsets)
        for wanted, suffix, save in ((args.gif, ".gif", preview.save_gif), (args.apng, ".apng", preview.save_apng)):
            if wanted and previews:
                path = Path(f"{base}{suffix}")
                save(path, previews, args.duration)
                self.wrote(report, path)

    def write_frames(self, report, base: Path, images) -> None:
        digits = max(3, len(str(len(images) - 1)))
        for index, image in enumerate(images):
            if not has_pixels(image):
                report.warn(base, f"frame {index} is {image.width}x{image.height}: no PNG written")
                continue
            path = Path(f"{base}_{index:0{digits}d}.png")
            save_image(image, path, compress_level=self.args.compress_level)
            self.wrote(report, path)

    def write_sheet(self, report, base: Path, images, anim) -> None:
        image, entries = sheet.build(images, anim.frames)
        path = Path(f"{base}_sheet.png")
        save_image(image, path, compress_level=self.args.compress_level)
        self.wrote(report, path)
        atlas = {"animation": str(anim.path), "image": path.name, "scale": self.args.scale,
                 "speed": anim.data.info.speed, "background": anim.data.has_background, "frames": entries}
        atlas_path = path.with_suffix(".json")
        atomic_file.write_text(atlas_path, json.dumps(atlas, indent=2) + "\n")
        self.wrote(report, atlas_path)


def run(args) -> int:
    batch = Batch("ravir render", expand(args.files, ".orv"), args.jobs)
    if args.palette is not None:
        try:
            args.palette = animation.read_palette(args.palette)
        except ToolError as error:
            batch.say(str(error))
            return 1
    return batch.run(Renderer(args, clashes(batch.inputs, args.output)))
