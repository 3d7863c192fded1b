"""The picture of a changed frame: before, after, and the changed pixels marked over
a faded copy of it, side by side on a checkerboard that shows the gaps, enlarged so
that the pixels of a small sprite can be told apart."""

from __future__ import annotations

from pathlib import Path

from PIL import Image, ImageDraw

from ravir_tools import _native, atomic_file
from ravir_tools.animation import Animation
from ravir_tools.compare.animations import FrameChange
from ravir_tools.compare.pixels import PixelChange
from ravir_tools.errors import ToolError
from ravir_tools.frames.images import rgba_image, scaled
from ravir_tools.limits import PixelLimit
from ravir_tools.wording import counted

PAD = 8
LABEL = 14  # the strip above each panel that names it
CELL = 8  # checkerboard squares
MIN_PANEL = 96  # wide enough for its label
ENLARGED = 192  # small frames are enlarged up to about this size
MAX_SCALE = 8
MARK = (255, 0, 128, 255)
PAPER = (255, 255, 255, 255)
INK = (20, 20, 20, 255)


class Pictures:
    """Writes the picture of each changed frame of `a` and `b` as BASE_NNN.diff.png,
    NNN the frame's number in `b` (in `a` for a removed frame)."""

    def __init__(self, a: Animation, b: Animation, base: Path, limit: PixelLimit):
        self.a, self.b, self.base, self.limit = a, b, base, limit

    def __call__(self, frame: FrameChange, pixels: PixelChange) -> Path:
        number = frame.b if frame.b is not None else frame.a
        before, after = rendered(self.a, frame.a), rendered(self.b, frame.b)
        scale = max(1, min(MAX_SCALE, ENLARGED // max(pixels.marks.size)))
        panel = (max(pixels.marks.width * scale, MIN_PANEL), pixels.marks.height * scale)
        size = (3 * panel[0] + 4 * PAD, panel[1] + LABEL + 2 * PAD)
        self.limit.check(self.b.path, f"the picture of frame {number}", *size)
        image = Image.new("RGBA", size, PAPER)
        draw = ImageDraw.Draw(image)
        panels = [(f"frame {number}: before", shown(before, scale, panel)), ("after", shown(after, scale, panel)),
                  (f"{counted(pixels.count, 'pixel')} changed", marked(after or before, pixels.marks, scale, panel))]
        for place, (label, picture) in enumerate(panels):
            x = PAD + place * (panel[0] + PAD)
            draw.text((x, PAD // 2), label, fill=INK)
            image.paste(picture, (x, PAD + LABEL))
        path = Path(f"{self.base}_{number:03d}.diff.png")
        try:
            path.parent.mkdir(parents=True, exist_ok=True)  # files found below a folder keep their place
            atomic_file.write_image(path, image)
        except OSError as error:
            raise ToolError(path, f"cannot write: {error.strerror}") from None
        return path


def rendered(anim: Animation, index: int | None) -> Image.Image | None:
    """Frame `index` as the load drew it; None for a frame that is not there."""
    if index is None:
        return None
    if anim.palette_error:
        raise ToolError(anim.path, f"{anim.palette_error}, which the pictures need (name one with --palette)")
    frame = anim.images[index]
    if frame.width and frame.height and not _native.has_pixels(frame):
        raise ToolError(anim.path, f"frame {index} is {frame.width}x{frame.height}, more than one render may hold: "
                                   "no picture of it")
    return rgba_image(frame)


def checkerboard(size: tuple[int, int]) -> Image.Image:
    cells = (-(-size[0] // CELL), -(-size[1] // CELL))
    pattern = Image.new("L", cells)
    pattern.putdata([204 if (x + y) % 2 else 255 for y in range(cells[1]) for x in range(cells[0])])
    return scaled(pattern, CELL).crop((0, 0, *size)).convert("RGBA")


def shown(frame: Image.Image | None, scale: int, panel: tuple[int, int]) -> Image.Image:
    """The frame enlarged at the top-left of a panel; a missing frame leaves it empty."""
    image = checkerboard(panel)
    if frame is not None and frame.width and frame.height:
        image.alpha_composite(scaled(frame, scale))
    return image


def marked(frame: Image.Image | None, marks: Image.Image, scale: int, panel: tuple[int, int]) -> Image.Image:
    image = Image.blend(shown(frame, scale, panel), Image.new("RGBA", panel, PAPER), 0.7)
    enlarged = scaled(marks, scale)
    image.paste(MARK, (0, 0, *enlarged.size), enlarged)
    return image
