"""The animations of two folders, paired by their paths below them."""

from __future__ import annotations

import os
from pathlib import Path

from ravir_tools.batch import InputFiles, natural_key


def names_below(folder: Path) -> set[str]:
    return {Path(os.path.relpath(item.file, folder)).as_posix() for item in InputFiles([folder], ".orv")}


def paired_names(a: Path, b: Path) -> list[str]:
    """The path below its folder of every animation in `a` or `b`, in natural order.
    ToolError for a folder that holds none."""
    return sorted(names_below(a) | names_below(b), key=natural_key)
