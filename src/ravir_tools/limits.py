"""The sizes the animation format holds, and the limits the tools keep to on any
input, in one place."""

from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass

from PIL import Image

from ravir_tools.errors import ToolError

MAX_FRAME_WIDTH = 0xFFFF
MAX_FRAME_HEIGHT = 0x7FFF  # the height word's top bit is the shadow flag

OFFSETS = range(-0x8000, 0x8000)  # a frame's x and y offsets
MAX_GIF_SIDE = 0xFFFF  # GIF stores a canvas's sides in 16 bits
WIDTHS = range(MAX_FRAME_WIDTH + 1)
HEIGHTS = range(MAX_FRAME_HEIGHT + 1)
SPEEDS = range(2**32)

# Aseprite documents: their cels hold at most this many pixels in all, and the
# file, compressed, no more than that and their headers.
MAX_DOCUMENT_PIXEL_BYTES = 512 << 20  # far above any animation of the game, far below what would exhaust memory
MAX_DOCUMENT_BYTES = 2 * MAX_DOCUMENT_PIXEL_BYTES

# --- inputs read whole -------------------------------------------------------------
# Manifests, atlases, palettes, a gallery's state and --offsets files: a manifest of
# the most frames a manifest may hold takes about a third of this.
MAX_INPUT_BYTES = 32 << 20
# JSON, however it comes (those files, PNG text, Aseprite user data): what render
# writes nests 4 deep and holds a handful of objects and lists per frame, numbers
# of at most 10 digits.
MAX_JSON_DEPTH = 32
MAX_JSON_CONTAINERS = 16 * 0xFFFF
MAX_JSON_NUMBER_DIGITS = 32
# As many frames as Aseprite holds: a manifest's frames take memory and time in
# proportion, and no animation of the game comes near.
MAX_MANIFEST_FRAMES = 0xFFFF
# A stored palette location longer than a path may be is some other file's bytes.
MAX_LOCATION_BYTES = 4096
# An animation file: its palette indices alone would render to more than the core's
# 1 GiB of images a load.
MAX_ANIMATION_BYTES = 256 << 20
MAX_HEADER_BYTES = MAX_LOCATION_BYTES + 64  # the fields around the location take far less


# --- pixels --------------------------------------------------------------------
# Every canvas, sheet, preview frame, scaled frame and image read follows Pillow's
# convention: above its MAX_IMAGE_PIXELS (about 89 million) a warning, above twice
# that a refusal, before anything of that size is allocated. --max-pixels sets the
# refusal's limit (the warning comes above half of it).
DEFAULT_MAX_PIXELS = 2 * (Image.MAX_IMAGE_PIXELS or 89_478_485)


def human(count: int) -> str:
    """A count as people read it: 950, 3.6 K, 179 M, 3.6 G."""
    for size, unit in ((10**9, "G"), (10**6, "M"), (10**3, "K")):
        if count >= size:
            value = count / size
            return f"{value:.1f} {unit}" if value < 10 else f"{value:.0f} {unit}"
    return str(count)


@dataclass(frozen=True)
class PixelLimit:
    max_pixels: int = DEFAULT_MAX_PIXELS

    def check(self, subject, what: str, width: int, height: int,
              warn: Callable[[object, str], None] | None = None) -> None:
        """Refuses `what` (of `subject`, the file) at `width` x `height` when it has
        more pixels than the limit, in one line naming both; warns above half of it."""
        pixels = width * height
        if pixels > self.max_pixels:
            raise ToolError(subject, f"{what} would be {width} x {height} ({human(pixels)} pixels), above the limit "
                                     f"of {human(self.max_pixels)}; --max-pixels raises it")
        if warn is not None and pixels > self.max_pixels // 2:
            warn(subject, f"{what} is {width} x {height} ({human(pixels)} pixels), more than half the limit of "
                          f"{human(self.max_pixels)}")
