"""Images as palette indices and a mask of which pixels are drawn.

Indexed images give their indices as they are. Images in color are looked up in
the palette, in one of two color spaces: "rgba", the palette's own colors as a
render in RGBA shows them (alpha 0 is a gap), or "indexed", the colors an editor
shows for an indexed render, where every drawn pixel is opaque whatever the
palette's fourth byte. When the frame as it was rendered is known, only pixels
whose color changed are looked up; the others keep their index, so that palettes
that repeat colors lose nothing."""

from __future__ import annotations

import re
import sys
from dataclasses import dataclass

from PIL import Image, ImageChops

from ravir_tools.frames.byte_tables import TO_FLAG, TO_FULL
from ravir_tools.palettes.colors import Color


def packed(color: Color) -> int:
    """A color as the 32-bit value its four bytes form in an RGBA buffer."""
    return int.from_bytes(bytes(color), sys.byteorder)


def unpacked(value: int) -> Color:
    return tuple(value.to_bytes(4, sys.byteorder))


@dataclass
class Indexed:
    width: int
    height: int
    indices: bytes
    opaque: bytes


class BadColor(Exception):
    def __init__(self, x: int, y: int, color: Color):
        super().__init__(f"pixel ({x}, {y}) has the color #{bytes(color).hex()}, which is not in the palette")


class PaletteIndex:
    """Finds each color's palette entry: the first that matches exactly or, when
    `nearest` is set, the closest one by the distance of the four channels."""

    def __init__(self, colors: list[Color], nearest: bool, space: str = "rgba"):
        self.colors = [(r, g, b, 255) for r, g, b, _ in colors] if space == "indexed" else list(colors)
        self.space = space
        self.nearest = nearest
        self.known: dict[int, int] = {}
        self.repeated: set[int] = set()  # colors that several entries have
        for index, color in enumerate(self.colors):
            if self.known.setdefault(packed(color), index) != index:
                self.repeated.add(packed(color))

    def closest(self, value: int) -> int:
        color = unpacked(value)
        return min(range(len(self.colors)),
                   key=lambda i: sum((a - b) ** 2 for a, b in zip(color, self.colors[i])))

    def lookup(self, wanted: set[int], pixels, width: int) -> dict[int, int]:
        """The entry of each color in `wanted`; BadColor for the first of `pixels`
        (positions and colors, in reading order) whose color has none."""
        missing = wanted - self.known.keys()
        if missing and not self.nearest:
            first, value = next((p, v) for p, v in pixels if v in missing)
            raise BadColor(first % width, first // width, unpacked(value))
        found = {v: self.known[v] for v in wanted - missing}
        found.update((v, self.closest(v)) for v in missing)
        return found

    def shown(self, image: Image.Image) -> Image.Image:
        """`image` in RGBA as this color space compares it: gaps all (0, 0, 0, 0) and,
        in the "indexed" space, every other pixel opaque."""
        rgba = image.convert("RGBA")
        alpha = rgba.getchannel("A")
        visible = alpha.point(TO_FULL)
        if self.space == "indexed":
            rgba.putalpha(visible)
        return Image.composite(rgba, Image.new("RGBA", rgba.size), visible)

    def index(self, image: Image.Image, shadow: bool = False) -> Indexed:
        """Every pixel looked up; raises BadColor for the first, in reading order,
        whose color has no entry. A shadow frame keeps only which pixels are drawn,
        so its colors are not looked up."""
        rgba = self.shown(image)
        data = rgba.tobytes()
        opaque = data[3::4].translate(TO_FLAG)
        if shadow:
            return Indexed(rgba.width, rgba.height, bytes(len(opaque)), opaque)
        values = memoryview(data).cast("I")
        drawn = ((p, v) for p, (v, o) in enumerate(zip(values, opaque)) if o)  # read only to name a bad pixel
        lookup = self.lookup({v for v, o in zip(values, opaque) if o}, drawn, rgba.width)
        indices = bytes(lookup[v] if o else 0 for v, o in zip(values, opaque))
        return Indexed(rgba.width, rgba.height, indices, opaque)

    def changes(self, image: Image.Image, rendered: Image.Image, original: Indexed,
                shadow: bool) -> tuple[Indexed, int]:
        """`original` with the pixels whose color differs between `image` and the
        frame as it was `rendered` looked up, and how many of those had several
        entries to choose from. Raises BadColor as `index` does."""
        image, rendered = self.shown(image), self.shown(rendered)
        changed_mask = differs(image, rendered)
        if changed_mask.getbbox() is None:
            return original, 0
        changed = changed_mask.tobytes()
        positions = [match.start() for match in re.finditer(rb"[^\x00]", changed)]
        data = image.tobytes()
        values = memoryview(data).cast("I")
        indices, opaque = bytearray(original.indices), bytearray(original.opaque)
        painted = [(p, values[p]) for p in positions if data[4 * p + 3]]
        lookup = {} if shadow else self.lookup({v for _, v in painted}, painted, image.width)
        for p in positions:
            opaque[p] = 1 if data[4 * p + 3] else 0
            indices[p] = lookup.get(values[p], 0) if opaque[p] and not shadow else 0
        ambiguous = 0 if shadow else sum(1 for _, v in painted if v in self.repeated)
        return Indexed(original.width, original.height, bytes(indices), bytes(opaque)), ambiguous


def differs(first: Image.Image, second: Image.Image) -> Image.Image:
    """A mask of two images of one mode ("L" or "RGBA"): 255 where their pixels differ."""
    difference = ImageChops.difference(first, second)
    if difference.mode == "RGBA":
        red, green, blue, alpha = difference.split()
        difference = ImageChops.lighter(ImageChops.lighter(red, green), ImageChops.lighter(blue, alpha))
    return difference.point(list(TO_FULL))


def from_indices(image: Image.Image, gap: int | None, mask: Image.Image | None, shadow: bool) -> Indexed:
    """An indexed image's own indices: the gap index is a gap, unless `mask` (drawn
    pixels non-zero) says the pixel is drawn."""
    indices = image.tobytes()
    if gap is None:
        opaque = bytes([1]) * len(indices)
    else:
        opaque = indices.translate(bytes(0 if i == gap else 1 for i in range(256)))
        if mask is not None:
            drawn = mask.convert("L").point(TO_FLAG)
            opaque = ImageChops.lighter(Image.frombytes("L", image.size, opaque), drawn).tobytes()
    return Indexed(image.width, image.height, bytes(len(indices)) if shadow else indices, opaque)
