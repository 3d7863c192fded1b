"""The folder a whole run writes into, checked once before any work: a folder that
cannot be made or written would otherwise fail every input alike, one line each."""

from __future__ import annotations

import os
from pathlib import Path

from ravir_tools.errors import ToolError


def prepare(folder: Path) -> None:
    """Makes `folder` when it is missing; ToolError when it names a file, cannot be
    made, or cannot take new files."""
    if folder.exists() and not folder.is_dir():
        raise ToolError(folder, "is a file, not a folder: -o names the folder to write into")
    try:
        folder.mkdir(parents=True, exist_ok=True)
    except OSError as error:
        raise ToolError(folder, f"cannot be made: {error.strerror}") from None
    # access() tells a read-only file system apart even for root, whom permissions do not stop.
    if not os.access(folder, os.W_OK | os.X_OK):
        read_only = os.statvfs(folder).f_flag & os.ST_RDONLY
        raise ToolError(folder, "cannot be written: " + ("it is on a read-only file system" if read_only else
                                                          "no permission to make files in it"))
