"""RGBA images as palette indices and a mask of which pixels are opaque."""

from __future__ import annotations

import sys
from dataclasses import dataclass

from PIL import Image

OPAQUE = bytes([0] + [1] * 255)  # alpha -> mask byte: only alpha 0 is a gap


def packed(color: tuple[int, int, int, int]) -> int:
    """A color as the 32-bit value its four bytes form in an RGBA buffer."""
    return int.from_bytes(bytes(color), sys.byteorder)


def unpacked(value: int) -> tuple[int, int, int, int]:
    return tuple(value.to_bytes(4, sys.byteorder))


@dataclass
class Indexed:
    width: int
    height: int
    indices: bytes
    opaque: bytes


class BadColor(Exception):
    def __init__(self, x: int, y: int, color: tuple[int, int, int, int]):
        super().__init__(f"pixel ({x}, {y}) has the color #{bytes(color).hex()}, which is not in the palette")


class PaletteIndex:
    """Finds each color's palette entry: the first that matches exactly or, when
    `nearest` is set, the closest one by the distance of the four channels."""

    def __init__(self, colors: list[tuple[int, int, int, int]], nearest: bool):
        self.colors = colors
        self.nearest = nearest
        self.known: dict[int, int] = {}
        for index, color in enumerate(colors):
            self.known.setdefault(packed(color), index)

    def closest(self, value: int) -> int:
        color = unpacked(value)
        return min(range(len(self.colors)),
                   key=lambda i: sum((a - b) ** 2 for a, b in zip(color, self.colors[i])))

    def index(self, image: Image.Image, shadow: bool = False) -> Indexed:
        """Raises BadColor for the first pixel, in reading order, whose color has no
        entry. A shadow frame keeps only which pixels are drawn, so its colors are not
        looked up."""
        rgba = image.convert("RGBA")
        data = rgba.tobytes()
        opaque = data[3::4].translate(OPAQUE)
        if shadow:
            return Indexed(rgba.width, rgba.height, bytes(len(opaque)), opaque)
        values = memoryview(data).cast("I")
        wanted = {v for v, o in zip(values, opaque) if o}
        missing = wanted - self.known.keys()
        if missing and not self.nearest:
            first = next(i for i, v in enumerate(values) if opaque[i] and v in missing)
            raise BadColor(first % rgba.width, first // rgba.width, unpacked(values[first]))
        lookup = dict(self.known)
        lookup.update((v, self.closest(v)) for v in missing)
        indices = bytes(lookup[v] if o else 0 for v, o in zip(values, opaque))
        return Indexed(rgba.width, rgba.height, indices, opaque)
