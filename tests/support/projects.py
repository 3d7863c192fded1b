"""A game folder to put test files in, and a small sprite to put there."""

from pathlib import Path

from tests.support.orv_bytes import Frame, animation_bytes, palette_bytes, ramp_palette


class Project:
    """A game folder in a temporary directory: palettes under pal/, animations under anim/."""

    def __init__(self, root: Path):
        self.root = root

    def palette(self, name="a.pal", colors=None, **options) -> Path:
        path = self.root / "pal" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(palette_bytes(ramp_palette() if colors is None else colors, **options))
        return path

    def animation(self, frames, name="x.orv", location="pal/a.pal", **options) -> Path:
        path = self.root / "anim" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(animation_bytes(frames, location=location, **options))
        return path


# Two frames of a small sprite: a normal one and a shadow one.
SPRITE = [
    Frame(width=4, rows=[[(1, [5, 6])], [], [(0, [1, 2, 3, 4])]], x_offset=-2, y_offset=3),
    Frame(width=3, rows=[[(0, 2)], [(1, 2)]], shadow=True),
]
