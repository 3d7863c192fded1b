"""What the registry knows of one palette format."""

from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass
from pathlib import Path

from ravir_tools.palettes.colors import Color

Reader = Callable[[Path, bytes], tuple[list[Color], list[str]]]  # colors, and what reading noticed
Writer = Callable[[Path, list[Color]], "str | None"]  # a warning when the format cannot hold them all


@dataclass(frozen=True)
class PaletteFormat:
    name: str  # as --format and `ravir palette --json` name it
    read: Reader | None = None
    write: Writer | None = None
    # Whether a file's bytes (and its lowercase extension) are of this format.
    recognise: Callable[[bytes, str], bool] | None = None
    read_extensions: tuple[str, ...] = ()  # read as this format when the content tells nothing
    write_extensions: tuple[str, ...] = ()  # written in this format unless --format names another
