"""Where things lie in a gallery site, and links between them.

Every path kept or written here is relative to the site's folder and uses forward
slashes, so that a site opens from file:// wherever it is copied:

  index.html                    the cards of every animation
  assets/                       the site's own styles and scripts
  pages/LABEL/SUB/NAME.html     one page per animation
  files/LABEL/SUB/NAME_000.png  what `ravir render` writes for it

LABEL names the folder the animation was found in (its base name), SUB the
folders below it, NAME the animation's file name without its suffix."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path, PurePosixPath
from urllib.parse import quote

from ravir_tools.batch import Input

INDEX = "index.html"
ASSETS = "assets"
PAGES = "pages"
FILES = "files"


@dataclass(frozen=True)
class Place:
    """An animation's place in the site, from the batch input whose name is
    LABEL/SUB/NAME."""

    page: str  # its page, which is also its key in the site's state
    animation: str  # its path relative to the folder given: SUB/FILE.orv
    folder: str  # the folder its card is grouped under: LABEL/SUB
    file_name: str

    @classmethod
    def of(cls, item: Input) -> Place:
        name = PurePosixPath(item.name.as_posix())
        label, *below = name.parent.parts
        animation = PurePosixPath(*below, item.path.name)
        return cls(page=f"{PAGES}/{name}.html", animation=str(animation),
                   folder=str(name.parent), file_name=item.path.name)


def relative(path: Path, site: Path) -> str:
    """A file the tool wrote below `site`, as the site names it."""
    return path.relative_to(site).as_posix()


def inside(site: Path, name: str) -> Path | None:
    """The file a site path names, or None for one that would lie outside the site
    (a state file is data read back: it is not trusted to name where to delete)."""
    path = PurePosixPath(name)
    if path.is_absolute() or ".." in path.parts or not path.parts:
        return None
    return site.joinpath(*path.parts)


def href(page: str, target: str) -> str:
    """The link from the site file `page` to the site file `target`: up to the
    site's folder, then down to the target."""
    # A name that is not UTF-8 keeps its bytes, so that the link finds the file.
    return quote("../" * page.count("/") + target, errors="surrogateescape")
