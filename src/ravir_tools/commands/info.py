"""`ravir info`: what an animation holds, as a table or as JSON."""

from __future__ import annotations

import json
import sys
from dataclasses import dataclass
from pathlib import Path

from ravir_tools import animation
from ravir_tools.batch import Batch, InputFiles
from ravir_tools.commands.arguments import add_jobs, add_palette
from ravir_tools.palettes.registry import Palette, read_palette

NAME = "info"
SUMMARY = "print what animations hold"
DESCRIPTION = ("Prints each animation's speed, frames, background and palette, and a table of its frames. "
               "Folders are searched for .orv files.")
EXAMPLES = """\
  ravir info anim/walk.orv
  ravir info game/anim --json > animations.json
  ravir info game/anim --jsonl -j 4 | grep '"background": true'
  ravir info anim/walk.orv --palette night.gpl
"""


@dataclass(frozen=True)
class Options:
    files: list[str]
    output: str = "text"  # "text", "json" (one array) or "jsonl" (an object a line)
    palette: Path | None = None
    jobs: int = 1


def add_arguments(parser) -> None:
    parser.add_argument("files", nargs="+", metavar="FILE", help="animation files or folders")
    output = parser.add_mutually_exclusive_group()
    output.add_argument("--json", action="store_true", help="print one JSON list of all animations")
    output.add_argument("--jsonl", action="store_true", help="print one JSON object per animation, a line each")
    add_palette(parser, "draw with this palette (any format `ravir palette` reads) instead of the file's")
    add_jobs(parser)


def options(args) -> Options:
    output = "json" if args.json else "jsonl" if args.jsonl else "text"
    return Options(args.files, output, args.palette, args.jobs)


def palette_status(summary: dict) -> str:
    found = summary["palette_found"]
    if not found:
        return "not found"
    if summary["palette_replaced"]:
        return f"replaced by {found}"
    return f"found at {found}" + ("" if summary["palette_loaded"] else ", but not readable")


def text(summary: dict) -> str:
    lines = [
        summary["file"],
        f"  speed {summary['speed']}, {summary['frame_count']} frames, "
        f"background {'yes (the last frame)' if summary['background'] else 'no'}",
        f"  palette {summary['palette_location']!r}: {palette_status(summary)}",
        f"  {'frame':>5}  {'size':>11}  {'offset':>13}  {'shadow':6}  {'rows':>5}  {'runs':>6}",
    ]
    for f in summary["frames"]:
        size = f"{f['width']}x{f['height']}"
        offset = f"{f['offset_x']},{f['offset_y']}"
        lines.append(f"  {f['index']:>5}  {size:>11}  {offset:>13}  {'yes' if f['shadow'] else 'no':6}"
                     f"  {f['rows']:>5}  {f['runs']:>6}")
    return "\n".join(lines)


class Summarize:
    """The work on one animation: its summary, and its text unless JSON is wanted."""

    def __init__(self, as_text: bool, palette: Palette | None):
        self.as_text = as_text
        self.palette = palette

    def __call__(self, item, report) -> None:
        anim = animation.load(item.path, self.palette, item.game)
        summary = animation.summary(anim, self.palette is not None)
        for warning in anim.warnings:
            report.warn(item.path, warning)
        if self.as_text:
            report.out(text(summary))
        else:
            report.result = summary


class JsonArray:
    """One JSON array written element by element, as json.dumps(items, indent=2)
    would write it whole, so that no summary is kept once it is printed."""

    def __init__(self):
        self.count = 0

    def add(self, item: dict) -> None:
        element = "  " + json.dumps(item, indent=2).replace("\n", "\n  ")
        sys.stdout.write(("[\n" if self.count == 0 else ",\n") + element)
        self.count += 1

    def close(self) -> None:
        sys.stdout.write("\n]\n" if self.count else "[]\n")


def run(options: Options) -> int:
    batch = Batch("ravir info", InputFiles(options.files, ".orv"), options.jobs)
    palette = read_palette(options.palette, batch.warn) if options.palette is not None else None
    work = Summarize(options.output == "text", palette)
    if options.output == "jsonl":
        return batch.run(work, lambda summary: sys.stdout.write(json.dumps(summary) + "\n"))
    if options.output == "text":
        return batch.run(work)
    array = JsonArray()
    status = batch.run(work, array.add)
    array.close()
    return status
