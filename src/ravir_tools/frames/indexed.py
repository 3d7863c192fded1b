"""Frames as palette-indexed images that hold exactly the indices they draw.

The palette's colors go to PLTE, and one index, the gap index, stands for the
pixels no run draws: it alone is transparent (tRNS), every other index is shown
opaque whatever the palette's fourth byte, so that artists see every drawn pixel.
The gap index is one the frame (or, for a sheet, every frame) does not draw; when
all 256 are drawn, the least drawn one is taken and a 1-bit mask of the drawn
pixels keeps the difference. Shadow frames draw no indices, only where they lie:
they are shown in the palette's darkest entry."""

from __future__ import annotations

from dataclasses import dataclass

from PIL import Image

from ravir_tools import _native
from ravir_tools.frames.byte_tables import TO_FULL
from ravir_tools.frames.images import fitted_image
from ravir_tools.palettes.colors import Color, luminance, rgb_bytes


@dataclass
class FramePixels:
    """What a frame draws: its indices (0 in gaps), which pixels it draws, and how
    many pixels it draws with each index."""

    width: int
    height: int
    indices: bytes
    drawn: bytes
    counts: list[int]
    shadow: bool

    @property
    def has_gaps(self) -> bool:
        return 0 in self.drawn


def frame_pixels(data, index: int) -> FramePixels:
    frame = data.frames[index]
    indices, drawn, counts = _native.frame_indices(data, index)
    return FramePixels(frame.width, frame.height, indices, drawn, counts, bool(frame.is_shadow))


def fitted(frame: FramePixels, width: int, height: int) -> FramePixels:
    """`frame` cut or grown to `width` x `height` from its top-left corner, as a frame
    whose canvas was resized in an editor: what it gains are gaps."""
    if (frame.width, frame.height) == (width, height):
        return frame
    indices, drawn = (fitted_image(Image.frombytes("L", (frame.width, frame.height), plane), (width, height)).tobytes()
                      for plane in (frame.indices, frame.drawn))
    counts = [0] * 256
    if not frame.shadow:
        counts = Image.frombytes("L", (width, height), indices).histogram(
            Image.frombytes("L", (width, height), drawn.translate(TO_FULL)))
    return FramePixels(width, height, indices, drawn, counts, frame.shadow)


def darkest(colors: list[Color]) -> int:
    """The entry shadows are shown with: the lowest in luminance, the first of equals."""
    return min(range(len(colors)), key=lambda i: luminance(colors[i]))


def used_counts(frames: list[FramePixels], shadow_index: int) -> list[int]:
    """Drawn pixels per index over `frames`, shadows counted at the index they show."""
    counts = [0] * 256
    for frame in frames:
        if frame.shadow:
            counts[shadow_index] += len(frame.drawn) - frame.drawn.count(0)
        else:
            counts = [a + b for a, b in zip(counts, frame.counts)]
    return counts


def choose_gap(counts: list[int], has_gaps: bool) -> tuple[int | None, bool]:
    """The gap index and whether a mask must tell gaps from pixels drawn with it. An
    unused index is always chosen when there is one, so that an artist can erase."""
    unused = next((i for i, count in enumerate(counts) if count == 0), None)
    if unused is not None:
        return unused, False
    if not has_gaps:
        return None, False
    return min(range(256), key=lambda i: counts[i]), True


def blank_indexed(size: tuple[int, int], colors: list[Color], fill: int) -> Image.Image:
    """An indexed image of `size` in the palette `colors`, every pixel `fill`."""
    image = Image.new("P", size, fill)
    image.putpalette(rgb_bytes(colors))
    return image


def indexed_image(frame: FramePixels, colors: list[Color], gap: int | None, shadow_index: int) -> Image.Image:
    """The frame as an indexed image at its own size; gaps take `gap` (0 when None,
    which is only so for a frame without gaps)."""
    size = (frame.width, frame.height)
    image = blank_indexed(size, colors, gap or 0)
    if frame.shadow:
        drawn = Image.new("P", size, shadow_index)
    else:
        drawn = Image.frombytes("P", size, frame.indices)
    image.paste(drawn, mask=drawn_mask(frame))
    return image


def drawn_mask(frame: FramePixels) -> Image.Image:
    return Image.frombytes("L", (frame.width, frame.height), frame.drawn.translate(TO_FULL))


def save_options(gap: int | None) -> dict:
    """Pillow's PNG options for an indexed image whose only transparent index is `gap`."""
    return {} if gap is None else {"transparency": gap}


def shown_rgba(image: Image.Image, gap: int | None) -> Image.Image:
    """The colors an editor shows for an indexed image: every index opaque but the gap."""
    if gap is not None:
        image = image.copy()
        image.info["transparency"] = gap
    return image.convert("RGBA")
