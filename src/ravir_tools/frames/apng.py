"""APNG previews, written one shot at a time from PNGs that Pillow encoded.

Each shot is an RGBA PNG of its box; its compressed pixels (the IDAT data) become the
shot's frame data as they are, so that a frame whose PNG render wrote already costs
nothing to encode again. The file's chunks around them are ours: the first shot is
the default image and covers the canvas, every shot replaces its box and is cleared
before the next, and the animation loops forever."""

from __future__ import annotations

import struct
import zlib
from collections.abc import Iterable, Iterator
from pathlib import Path

from PIL import Image

from ravir_tools import atomic_file
from ravir_tools.exchange.png_chunks import PNG_SIGNATURE
from ravir_tools.frames.images import png_bytes, rgba_image
from ravir_tools.frames.preview import Box, Preview

RGBA_8_BITS = (8, 6, 0, 0, 0)  # bit depth, color type, compression, filter, interlace
DISPOSE_TO_BACKGROUND = 1
BLEND_SOURCE = 0


def chunk(kind: bytes, data: bytes) -> bytes:
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def pixel_data(png: bytes) -> tuple[tuple[int, int], bytes]:
    """The size and the compressed pixels of an 8-bit RGBA PNG that Pillow wrote."""
    position, size, parts = len(PNG_SIGNATURE), None, []
    while position < len(png):
        length, kind = struct.unpack_from(">I4s", png, position)
        data = png[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, *form = struct.unpack(">IIBBBBB", data)
            if tuple(form) != RGBA_8_BITS:
                raise ValueError("an APNG shot must be an 8-bit RGBA PNG")
            size = (width, height)
        elif kind == b"IDAT":
            parts.append(data)
        position += 12 + length
    if size is None:
        raise ValueError("an APNG shot has no header")
    return size, b"".join(parts)


def delay(duration: int) -> tuple[int, int]:
    """`duration` ms as APNG's fraction of a second, each part 16 bits."""
    for denominator in (1000, 100, 10, 1):
        numerator = round(duration * denominator / 1000)
        if numerator <= 0xFFFF:
            return numerator, denominator
    return 0xFFFF, 1


def write_apng(path: Path, size: tuple[int, int], shots: Iterable[tuple[Box, bytes]], count: int,
               duration: int) -> None:
    """The `count` shots, each its box on the canvas of `size` and the PNG of that
    box, as an APNG looping forever, each shot lasting `duration` ms."""
    numerator, denominator = delay(duration)
    sequence = 0
    with atomic_file.replacing(path) as stream:
        stream.write(PNG_SIGNATURE + chunk(b"IHDR", struct.pack(">II5B", *size, *RGBA_8_BITS))
                     + chunk(b"acTL", struct.pack(">II", count, 0)))
        for number, (box, png) in enumerate(shots):
            shot_size, data = pixel_data(png)
            if shot_size != box[2:] or (number == 0 and box != (0, 0, *size)):
                raise ValueError(f"APNG shot {number} does not fit its box {box}")
            stream.write(chunk(b"fcTL", struct.pack(">IIIIIHHBB", sequence, box[2], box[3], box[0], box[1],
                                                    numerator, denominator, DISPOSE_TO_BACKGROUND, BLEND_SOURCE)))
            sequence += 1
            if number == 0:
                stream.write(chunk(b"IDAT", data))
            else:
                stream.write(chunk(b"fdAT", struct.pack(">I", sequence) + data))
                sequence += 1
        stream.write(chunk(b"IEND", b""))


def shot_pngs(shown: Preview, rendered: list, scale: int, written: dict[int, bytes],
              compress_level: int) -> Iterator[tuple[Box, bytes]]:
    """Each shot's box and PNG, drawn one at a time from the `rendered` frames (at
    scale 1). A shot of one frame alone takes the frame's PNG from `written` (frame
    index to the PNG of its image at `scale`) when it is there."""
    behind = rgba_image(rendered[shown.behind]) if shown.behind is not None else None  # drawn in every shot
    for number, shot in enumerate(shown.shots):
        if number and len(shot.layers) == 1 and shot.layers[0] in written:
            yield shot.box, written[shot.layers[0]]
            continue
        left, top, width, height = (value // scale for value in shot.box)
        canvas = Image.new("RGBA", (width, height))
        for index in shot.layers:
            x, y = (value // scale for value in shown.corners[index])
            image = behind if index == shown.behind else rgba_image(rendered[index])
            canvas.alpha_composite(image, (x - left, y - top))
        if scale != 1:
            canvas = canvas.resize((width * scale, height * scale), Image.Resampling.NEAREST)
        yield shot.box, png_bytes(canvas, compress_level=compress_level)
