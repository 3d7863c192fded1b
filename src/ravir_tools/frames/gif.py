"""GIF previews drawn from the palette indices the frames hold, in the game palette.

GIF has one transparent index and no partial alpha: a pixel shows its entry's color
opaque unless the entry's fourth byte is 0, where it shows what lies behind, as in
the RGBA render. Entries that repeat an earlier entry's color draw as that entry,
which frees theirs. The transparent index is an entry no shown pixel needs; shadows
show in a black entry (one recolored black when the palette has none). Where every
entry is needed, the least used one is shown transparent, as --indexed picks its gap
index, and the caller is told so.

Each shot goes to the file as it is drawn: Pillow encodes its pixels (`getdata`),
and the file's header is ours."""

from __future__ import annotations

import struct
from dataclasses import dataclass
from pathlib import Path

from PIL import GifImagePlugin, Image, ImageChops

from ravir_tools import atomic_file, limits
from ravir_tools.errors import ToolError
from ravir_tools.frames.byte_tables import TO_FULL
from ravir_tools.frames.indexed import FramePixels
from ravir_tools.frames.preview import Preview
from ravir_tools.palettes.colors import Color

ENTRIES = 256
BLACK = (0, 0, 0)
PADDING = (0, 0, 0, 255)  # what the game shows for an index past its palette
DISPOSE_TO_BACKGROUND = 2  # each shot is cleared before the next is drawn


@dataclass(frozen=True)
class GifColors:
    palette: bytes  # 256 RGB entries
    table: bytes  # for bytes.translate: each palette index to the GIF index it shows as
    transparent: int
    shadow: int
    merged: tuple[int, int] | None  # a drawn entry shown transparent and its pixels, when all are needed


def gif_colors(colors: list[Color], frames: list[FramePixels]) -> GifColors:
    """The GIF palette for frames drawn with `colors`."""
    colors = (colors + [PADDING] * ENTRIES)[:ENTRIES]
    first: dict[tuple, int] = {}  # each color shown, by the first entry showing it
    for index, color in enumerate(colors):
        if color[3]:
            first.setdefault(color[:3], index)
    shown_as = [first[color[:3]] if color[3] else None for color in colors]
    counts = [0] * ENTRIES
    for frame in frames:
        if not frame.shadow:
            for index, count in enumerate(frame.counts):
                if count and shown_as[index] is not None:
                    counts[shown_as[index]] += count
    shadows = any(frame.shadow and 1 in frame.drawn for frame in frames)
    black = first.get(BLACK) if shadows else None
    needed = {i for i in range(ENTRIES) if counts[i]} | ({black} if black is not None else set())
    free = [i for i in range(ENTRIES) if i not in needed]
    merged = None
    if free:
        transparent = free.pop(0)
    else:
        transparent = min((i for i in range(ENTRIES) if i != black), key=lambda i: (counts[i], i))
        merged = (transparent, counts[transparent])
    palette = bytearray(b"".join(bytes(color[:3]) for color in colors))
    shadow = black
    if shadows and shadow is None:
        # A free entry made black; else the darkest entry shows shadows.
        shadow = free[0] if free else min(needed - {transparent}, key=lambda i: sum(colors[i][:3]))
        if free:
            palette[3 * shadow:3 * shadow + 3] = bytes(BLACK)
    table = bytes(transparent if shown is None else shown for shown in shown_as)
    return GifColors(bytes(palette), table, transparent, shadow if shadow is not None else transparent, merged)


@dataclass(frozen=True)
class GifLayer:
    """A frame as GIF indices, and the mask of the pixels it shows."""

    image: Image.Image
    mask: Image.Image


def gif_layer(frame: FramePixels, colors: GifColors) -> GifLayer:
    size = (frame.width, frame.height)
    drawn = Image.frombytes("L", size, frame.drawn.translate(TO_FULL))
    if frame.shadow:
        return GifLayer(Image.new("L", size, colors.shadow), drawn)
    image = Image.frombytes("L", size, frame.indices.translate(colors.table))
    visible = image.point([0 if index == colors.transparent else 255 for index in range(ENTRIES)])
    return GifLayer(image, ImageChops.multiply(drawn, visible))


def check_size(subject, size: tuple[int, int]) -> None:
    """Refuses a canvas GIF cannot hold: it stores sizes and places in 16 bits."""
    if max(size) > limits.MAX_GIF_SIDE:
        raise ToolError(subject, f"the GIF preview would be {size[0]} x {size[1]}; GIF holds at most "
                              f"{limits.MAX_GIF_SIDE} pixels a side (try --apng)")


def write_gif(path: Path, shown: Preview, layers: list[GifLayer | None], colors: GifColors, scale: int,
              duration: int) -> None:
    """The preview `shown` (of a size check_size accepted) as a GIF looping forever,
    each shot drawn from `layers` (the frames at scale 1; the shots' boxes are at
    `scale`) and lasting `duration` ms."""
    delay = min(duration, 10 * 0xFFFF)  # GIF counts hundredths of a second in 16 bits
    with atomic_file.replacing(path) as stream:
        stream.write(b"GIF89a" + struct.pack("<HHBBB", *shown.size, 0xF7, colors.transparent, 0) + colors.palette)
        stream.write(b"!\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00")  # loop forever
        for shot in shown.shots:
            left, top, width, height = (value // scale for value in shot.box)
            canvas = Image.new("L", (width, height), colors.transparent)
            for index in shot.layers:
                x, y = (value // scale for value in shown.corners[index])
                canvas.paste(layers[index].image, (x - left, y - top), layers[index].mask)
            if scale != 1:
                canvas = canvas.resize((width * scale, height * scale), Image.Resampling.NEAREST)
            for part in GifImagePlugin.getdata(canvas, offset=shot.box[:2], duration=delay,
                                               disposal=DISPOSE_TO_BACKGROUND, transparency=colors.transparent):
                stream.write(part)
        stream.write(b";")
