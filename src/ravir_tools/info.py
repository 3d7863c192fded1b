"""`ravir info`: what an animation holds, as a table or as JSON."""

from __future__ import annotations

import json
from pathlib import Path

from ravir_tools import animation
from ravir_tools.batch import Batch, expand
from ravir_tools.errors import ToolError
from ravir_tools.parsing import add_command

EXAMPLES = """\
  ravir info anim/walk.orv
  ravir info game/anim --json > animations.json
  ravir info anim/walk.orv --palette night.gpl
"""


def register(commands) -> None:
    parser = add_command(commands, "info", "print what animations hold",
                         "Prints each animation's speed, frames, background and palette, and a "
                         "table of its frames. Folders are searched for .orv files.", EXAMPLES)
    parser.add_argument("files", nargs="+", metavar="FILE", help="animation files or folders")
    parser.add_argument("--json", action="store_true", help="print one JSON list of all animations")
    parser.add_argument("--palette", type=Path, metavar="PAL",
                        help="draw with this palette (any format `ravir palette` reads) instead of the file's")
    parser.set_defaults(run=run)


def describe(anim: animation.Animation, replaced: bool = False) -> dict:
    frames = []
    for index, frame in enumerate(anim.frames):
        rows = frame.pixel_sets
        frames.append({
            "index": index, "width": frame.width, "height": frame.height,
            "offset_x": frame.x_offset, "offset_y": frame.y_offset, "shadow": bool(frame.is_shadow),
            "rows": len(rows), "runs": sum(len(row.blocks) for row in rows),
        })
    info = anim.data.info
    return {
        "file": str(anim.path), "speed": info.speed, "frame_count": info.frame_count,
        "background": anim.data.has_background, "palette_location": anim.location,
        "palette_found": anim.palette_path or None, "palette_loaded": anim.palette_error is None,
        "palette_replaced": replaced, "frames": frames,
    }


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


def run(args) -> int:
    batch = Batch("ravir info", expand(args.files, ".orv"))
    summaries = []
    palette = None
    if args.palette is not None:
        try:
            palette = animation.read_palette(args.palette)
        except ToolError as error:
            batch.say(str(error))
            return 1

    def work(item) -> None:
        anim = animation.load(item.path, palette)
        summaries.append(describe(anim, palette is not None))
        for warning in anim.warnings:
            batch.warn(item.path, warning)
        if not args.json:
            batch.progress.clear()
            print(text(summaries[-1]), flush=True)

    status = batch.run(work)
    if args.json:
        print(json.dumps(summaries, indent=2))
    return status
