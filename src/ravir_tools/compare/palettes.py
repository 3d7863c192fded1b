"""The entries of two palettes that differ, each palette read as the game reads its
own file (padded to 256 entries), so that two palettes draw alike exactly when no
entry differs, whatever formats they come in."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

from ravir_tools.palettes.colors import Color
from ravir_tools.palettes.registry import read_palette


@dataclass(frozen=True)
class EntryChange:
    index: int
    a: Color
    b: Color


@dataclass
class PaletteChange:
    a: Path
    b: Path
    entries: list[EntryChange]

    @property
    def same(self) -> bool:
        return not self.entries


def changed_entries(a: list[Color], b: list[Color]) -> list[EntryChange]:
    return [EntryChange(i, color_a, color_b) for i, (color_a, color_b) in enumerate(zip(a, b)) if color_a != color_b]


def compare_files(a: Path, b: Path, warn) -> PaletteChange:
    """The palette files `a` and `b`, in any formats `--palette` takes; what reading
    them noticed goes to `warn`."""
    return PaletteChange(a, b, changed_entries(read_palette(a, warn).colors, read_palette(b, warn).colors))
