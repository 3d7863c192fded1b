"""A change as `ravir diff` prints it: lines of text, under the two files' names
as diff -u names them, or JSON."""

from __future__ import annotations

from pathlib import Path

from ravir_tools.compare.animations import AnimationChange, FrameChange
from ravir_tools.compare.palettes import EntryChange, PaletteChange
from ravir_tools.palettes.colors import Color
from ravir_tools.wording import counted

HEADER_NAMES = {"speed": "speed", "background": "background", "palette_location": "palette location",
                "frame_count": "frames"}


def named(a: Path, b: Path) -> list[str]:
    return [f"--- {a}", f"+++ {b}"]


def value(field: str, shown) -> str:
    if isinstance(shown, bool):
        return "yes" if shown else "no"
    if field == "palette_location":
        return repr(shown) if shown is not None else "(a name that is not UTF-8)"
    return str(shown)


def hex_color(color: Color) -> str:
    return "#" + bytes(color).hex()


def entry_lines(entries: list[EntryChange], indent: str = "") -> list[str]:
    return [f"{indent}entry {e.index}: {hex_color(e.a)} -> {hex_color(e.b)}" for e in entries]


def frame_line(frame: FrameChange) -> str:
    if frame.a is None or frame.b is None or frame.a == frame.b:
        label = f"frame {frame.a if frame.b is None else frame.b}"
    else:
        label = f"frame {frame.a} -> {frame.b}"
    parts = []
    if frame.fields_a is None or frame.fields_b is None:
        own = frame.fields_a or frame.fields_b
        parts.append(f"{'added' if frame.fields_a is None else 'removed'}, {own['width']}x{own['height']} at "
                     f"{own['offset_x']},{own['offset_y']}" + (", shadow" if own["shadow"] else ""))
    else:
        a, b, fields = frame.fields_a, frame.fields_b, frame.fields
        if "width" in fields or "height" in fields:
            parts.append(f"size {a['width']}x{a['height']} -> {b['width']}x{b['height']}")
        if "offset_x" in fields or "offset_y" in fields:
            parts.append(f"offsets {a['offset_x']},{a['offset_y']} -> {b['offset_x']},{b['offset_y']}")
        if "shadow" in fields:
            parts.append(f"shadow {value('shadow', a['shadow'])} -> {value('shadow', b['shadow'])}")
    if frame.pixels:
        x, y, width, height = frame.box
        parts.append(f"{counted(frame.pixels, 'pixel')} changed within {width}x{height} at {x},{y}"
                     + (f" (image {frame.image})" if frame.image else ""))
    return f"{label}{' (background)' if frame.background else ''}: " + "; ".join(parts)


def animation_lines(change: AnimationChange) -> list[str]:
    lines = named(change.a, change.b)
    lines += [f"{HEADER_NAMES[name]}: {value(name, a)} -> {value(name, b)}" for name, (a, b) in change.header.items()]
    lines += [frame_line(frame) for frame in change.frames]
    if change.palette:
        a, b = change.palette_files
        count = len(change.palette)
        lines.append(f"palette: {counted(count, 'entry', 'entries')} {'differs' if count == 1 else 'differ'}"
                     + (f" ({a} -> {b})" if a != b else f" ({a})"))
        lines += entry_lines(change.palette, "  ")
    return lines


def palette_lines(change: PaletteChange) -> list[str]:
    return named(change.a, change.b) + entry_lines(change.entries)


def entries_json(entries: list[EntryChange]) -> list[dict]:
    return [{"index": e.index, "a": list(e.a), "b": list(e.b)} for e in entries]


def frame_json(frame: FrameChange) -> dict:
    box = dict(zip(("x", "y", "width", "height"), frame.box)) if frame.box else None
    return {"a": frame.a, "b": frame.b, "background": frame.background,
            "fields": {name: list(pair) for name, pair in frame.fields.items()}, "pixels": frame.pixels,
            "box": box, "image": str(frame.image) if frame.image else None}


def animation_json(change: AnimationChange) -> dict:
    palette = None
    if change.palette is not None:
        palette = {"a": change.palette_files[0], "b": change.palette_files[1],
                   "entries": entries_json(change.palette)}
    return {"a": str(change.a), "b": str(change.b), "same": change.same,
            "header": {name: list(pair) for name, pair in change.header.items()},
            "frames": [frame_json(frame) for frame in change.frames], "palette": palette}


def palette_json(change: PaletteChange) -> dict:
    return {"a": str(change.a), "b": str(change.b), "same": change.same, "entries": entries_json(change.entries)}
