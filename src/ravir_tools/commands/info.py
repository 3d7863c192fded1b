"""`ravir info`: what an animation holds, as a table or as JSON."""

from __future__ import annotations

import hashlib
import json
import sys
from dataclasses import dataclass
from pathlib import Path

from ravir_tools import animation, limits
from ravir_tools.batch import Batch, InputFiles
from ravir_tools.commands.arguments import add_jobs, add_max_pixels, add_palette
from ravir_tools.frames.indexed import frame_pixels
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
  ravir info --text anim/walk.orv                # for `git diff`: see the README's recipe

--text prints what the file draws and nothing of where it lies or what it found:
the header, then a line per frame with a hash of the indices it draws, so that a
line diff of two files shows the frames that changed.
"""


@dataclass(frozen=True)
class Options:
    files: list[str]
    output: str = "text"  # "text", "json" (one array), "jsonl" (an object a line) or "stable" (for line diffs)
    palette: Path | None = None
    jobs: int = 1
    max_pixels: int = limits.DEFAULT_MAX_PIXELS


def add_arguments(parser) -> None:
    parser.add_argument("files", nargs="+", metavar="FILE", help="animation files or folders")
    output = parser.add_mutually_exclusive_group()
    output.add_argument("--json", action="store_true", help="print one JSON list of all animations")
    output.add_argument("--jsonl", action="store_true", help="print one JSON object per animation, a line each")
    output.add_argument("--text", action="store_true",
                        help="print what each file draws, a line per frame with a hash of its indices, the same "
                             "wherever the file lies: for `git diff` (textconv)")
    add_palette(parser, "draw with this palette (any format `ravir palette` reads) instead of the file's")
    add_max_pixels(parser)
    add_jobs(parser)


def options(args) -> Options:
    output = "json" if args.json else "jsonl" if args.jsonl else "stable" if args.text else "text"
    return Options(args.files, output, args.palette, args.jobs, args.max_pixels)


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


def stable_text(anim: animation.Animation, limit: limits.PixelLimit) -> str:
    """The header and a line per frame, from what the file draws alone: the same for
    a copy anywhere, whatever palette it finds, and for runs laid out otherwise."""
    info = anim.data.info
    location = repr(anim.location) if anim.location is not None else "(a name that is not UTF-8)"
    lines = [f"speed {info.speed}", f"background {'yes' if anim.data.has_background else 'no'}",
             f"palette location {location}", f"frames {info.frame_count}"]
    for index, frame in enumerate(anim.frames):
        limit.check(anim.path, f"frame {index}", frame.width, frame.height)
        pixels = frame_pixels(anim.data, index)
        digest = hashlib.sha256(pixels.drawn + pixels.indices).hexdigest()[:12]
        kind = ", shadow" if pixels.shadow else ", background" if anim.data.has_background and \
            index == len(anim.frames) - 1 else ""
        lines.append(f"frame {index}: {frame.width}x{frame.height} at {frame.x_offset},{frame.y_offset}{kind}, "
                     f"{len(pixels.drawn) - pixels.drawn.count(0)} pixels drawn, indices {digest}")
    return "\n".join(lines)


class Summarize:
    """The work on one animation: its summary, its table or its stable text."""

    def __init__(self, output: str, palette: Palette | None, limit: limits.PixelLimit, named: bool):
        self.output, self.palette, self.limit, self.named = output, palette, limit, named

    def __call__(self, item, report) -> None:
        anim = animation.load(item.path, self.palette, item.game)
        animation.tell_ignored_case(anim, report)
        for warning in anim.warnings:
            report.warn(item.path, warning)
        if self.output == "stable":
            # What the file draws needs no palette: git runs this on copies far from the game's.
            report.out((f"== {item.path}\n" if self.named else "") + stable_text(anim, self.limit))
            return
        summary = animation.summary(anim, self.palette is not None)
        if self.output == "text":
            report.out(text(summary))
        else:
            report.result = summary
        if anim.palette_error:
            # Described all the same, but a failure, as render and gallery count it.
            report.fail(f"{item.path}: {anim.palette_error}")


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
    work = Summarize(options.output, palette, limits.PixelLimit(options.max_pixels), len(batch.inputs) > 1)
    if options.output == "jsonl":
        return batch.run(work, lambda summary: sys.stdout.write(json.dumps(summary) + "\n"))
    if options.output in ("text", "stable"):
        return batch.run(work)
    array = JsonArray()
    status = batch.run(work, array.add)
    array.close()
    return status
