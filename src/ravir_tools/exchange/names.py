"""The names of the files `ravir render` writes for one animation, which `ravir
pack` and the gallery find them by. BASE is the output folder joined with the
animation's name:

  BASE.json             the manifest          BASE_000.png, ...   one frame each
  BASE_000.mask.png     a frame's gap mask    BASE_sheet.png      the sheet
  BASE_sheet.mask.png   the sheet's gap mask  BASE_sheet.json     the sheet's atlas
  BASE.aseprite         the Aseprite document BASE.gif, BASE.apng the previews
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from pathlib import Path

MASK = ".mask.png"
SHEET = "_sheet"


@dataclass(frozen=True)
class OutputNames:
    base: Path
    frame_count: int

    def ending(self, text: str) -> Path:
        return Path(f"{self.base}{text}")

    def frame(self, index: int) -> Path:
        digits = max(3, len(str(self.frame_count - 1)))
        return self.ending(f"_{index:0{digits}d}.png")

    def is_frame_file(self, name: str) -> bool:
        """Whether `name` is the name of a frame's PNG or gap mask of this animation."""
        return re.fullmatch(re.escape(self.base.name) + r"_\d{3,}(" + re.escape(MASK) + r"|\.png)", name) is not None

    manifest = property(lambda self: self.ending(".json"))
    sheet = property(lambda self: self.ending(f"{SHEET}.png"))
    atlas = property(lambda self: self.ending(f"{SHEET}.json"))
    aseprite = property(lambda self: self.ending(".aseprite"))
    gif = property(lambda self: self.ending(".gif"))
    apng = property(lambda self: self.ending(".apng"))


def claimed(stem: str, sheet: bool) -> list[str]:
    """The names the outputs of the animation named `stem` take, as far as another
    animation's could take them too: its own, and with a sheet its atlas's, which is
    also the manifest's name of an animation named STEM_sheet."""
    return [stem, stem + SHEET] if sheet else [stem]


def names_nothing(stem: str) -> bool:
    """Whether an animation's name leaves nothing to name its outputs by (a file named
    ".orv" or "..orv"): they would be named after the folder instead, outside it."""
    return stem.rsplit("/", 1)[-1] in ("", ".", "..")


def mask_of(image: Path) -> Path:
    """The gap mask beside a frame's or a sheet's PNG."""
    return image.with_suffix(MASK)


def is_render_extra(path: Path) -> bool:
    """Whether `path` is one of the files render writes beside the frames of an
    animation (a sheet, a gap mask), which a folder of frames must not count."""
    return path.name.endswith((f"{SHEET}.png", MASK))
