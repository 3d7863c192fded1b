"""`ravir diff`: what differs between two animations, two folders of them or two
palettes (compare/ computes it); and, on request, a picture of each changed frame."""

from __future__ import annotations

import json
import sys
from dataclasses import dataclass
from pathlib import Path

from ravir_tools import animation, limits, output_folder
from ravir_tools.batch import Batch, Input, Report
from ravir_tools.commands.arguments import add_jobs, add_max_pixels, add_palette
from ravir_tools.compare import printed
from ravir_tools.compare.animations import compare
from ravir_tools.compare.folders import paired_names
from ravir_tools.compare.palettes import compare_files
from ravir_tools.compare.picture import Pictures
from ravir_tools.errors import ToolError
from ravir_tools.palettes.registry import Palette, read_palette

NAME = "diff"
SUMMARY = "show what differs between two animations, folders of them or palettes"
DESCRIPTION = ("Shows what differs from A to B: the header (speed, background, palette location, frame count), then "
               "each frame (size, offsets, shadow flag, how many pixels draw another index and where), then the "
               "palettes, when both are found. Exits 0 when they draw the same, 1 when they differ, 2 on an error.")
EXAMPLES = """\
  ravir diff game/anim/walk.orv mod/anim/walk.orv
  ravir diff game/anim/walk.orv mod/anim/walk.orv -o diff/    # diff/walk_003.diff.png for each changed frame
  ravir diff game/anim mod/anim                               # file by file: only in one, or changed
  ravir diff game/anim mod/anim --json > changes.json
  ravir diff pal/a.pal night.gpl                              # the entries that differ, any palette formats

Frames are compared by their number, the background frames with each other; pixels
with each frame's top-left corner on the other's. Run layout, frame_size, unk1 and
unk2 do not count: two files that draw the same are the same.
"""
ERROR_STATUS = 2  # as diff(1): 0 the same, 1 different, 2 trouble


@dataclass(frozen=True)
class Options:
    a: Path
    b: Path
    output: Path | None = None
    json: bool = False
    palette: Path | None = None
    max_pixels: int = limits.DEFAULT_MAX_PIXELS
    jobs: int = 1


def add_arguments(parser) -> None:
    parser.add_argument("a", type=Path, metavar="A", help="the animation, folder or palette before")
    parser.add_argument("b", type=Path, metavar="B", help="the animation, folder or palette after")
    parser.add_argument("-o", "--output", type=Path, metavar="DIR",
                        help="write a picture of each frame whose pixels changed into this folder: before, "
                             "after and the changed pixels marked")
    parser.add_argument("--json", action="store_true", help="print the differences as one JSON object")
    add_palette(parser, "draw both animations with this palette (any format `ravir palette` reads)")
    add_max_pixels(parser)
    add_jobs(parser)


def options(args) -> Options:
    return Options(args.a, args.b, args.output, args.json, args.palette, args.max_pixels, args.jobs)


def kind(a: Path, b: Path) -> str:
    """"folders", "animations" or "palettes"; ToolError for two of different kinds."""
    if a.is_dir() and b.is_dir():
        return "folders"
    if a.is_dir() or b.is_dir():
        folder, other = (a, b) if a.is_dir() else (b, a)
        raise ToolError(folder, f"is a folder and {other} is not: give two folders, or two files")
    animations = [path.suffix.lower() == ".orv" for path in (a, b)]
    if all(animations):
        return "animations"
    if not any(animations):
        return "palettes"
    found, other = (a, b) if animations[0] else (b, a)
    raise ToolError(found, f"is an animation and {other} is not (.orv): give two animations, or two palettes")


class CompareFiles:
    """The work on one name: the animations of that name below A and B, or A and B
    themselves when the name is empty."""

    def __init__(self, options: Options, palette: Palette | None):
        self.options, self.palette = options, palette
        self.limit = limits.PixelLimit(options.max_pixels)

    def __call__(self, item: Input, report: Report) -> None:
        a, b = Path(self.options.a, item.file), Path(self.options.b, item.file)
        for missing, only, change in ((a, self.options.b, "added"), (b, self.options.a, "removed")):
            if item.file and not missing.exists():
                report.result = {"file": item.file, "change": change}
                if not self.options.json:
                    report.out(f"only in {only}: {item.file}")
                return
        before, after = animation.load(a, self.palette), animation.load(b, self.palette)
        for anim in (before, after):
            for warning in anim.warnings:
                report.warn(anim.path, warning)
        pictures = None
        if self.options.output is not None:
            pictures = Pictures(before, after, self.options.output / item.name, self.limit)
        change = compare(before, after, self.limit, pictures)
        if change.palette is None:
            for anim in (before, after):
                if anim.palette_error:
                    report.warn(anim.path, f"{anim.palette_error}: the palettes are not compared")
        report.result = printed.animation_json(change)
        if not (change.same or self.options.json):
            report.out("\n".join(printed.animation_lines(change)))


def compare_palettes(options: Options) -> int:
    change = compare_files(options.a, options.b, Batch("ravir diff", []).warn)
    if options.json:
        print(json.dumps(printed.palette_json(change), indent=2))
    elif not change.same:
        print("\n".join(printed.palette_lines(change)))
    return 0 if change.same else 1


def run(options: Options) -> int:
    found = kind(options.a, options.b)
    if found == "palettes":
        return compare_palettes(options)
    names = paired_names(options.a, options.b) if found == "folders" else [""]
    inputs = [Input(name, name[: -len(".orv")] if name else options.b.stem) for name in names]
    batch = Batch("ravir diff", inputs, options.jobs)
    palette = read_palette(options.palette, batch.warn) if options.palette is not None else None
    if options.output is not None:
        output_folder.prepare(options.output)
    results: list[dict] = []  # of two folders, only those that differ: the rest need not stay in memory

    def keep(result: dict) -> None:
        if found == "animations" or not result.get("same"):
            results.append(result)

    batch.run(CompareFiles(options, palette), keep)
    differ = [result for result in results if not result.get("same")]
    if options.json and found == "folders":
        listed = {change: [r["file"] for r in differ if r.get("change") == change] for change in ("removed", "added")}
        print(json.dumps({"a": str(options.a), "b": str(options.b), "same": not (differ or batch.failed), **listed,
                          "changed": [r for r in differ if "change" not in r]}, indent=2))
    elif options.json and results:
        print(json.dumps(results[0], indent=2))
    if batch.failed:
        return ERROR_STATUS
    return 1 if differ else 0
