"""The palette search once more, matching each part of the location without regard
to case: the game's files come from a system that ignores case, so an animation may
name `pal/orb.pal` where the disk holds `PAL/ORB.PAL`. Used only when the exact search
found nothing; like it, it tries the animation's folder and each folder above, but
never leaves the folder it tries: absolute locations and `..` past its start find
nothing."""

from __future__ import annotations

import os
from pathlib import Path


def find_palette(animation_path: str, location: str) -> str | None:
    """The palette file that `location` names from the folder of `animation_path` or
    a folder above it, each part matched without regard to case; None if there is none."""
    parts = inside_parts(location)
    if not parts:
        return None
    folder = Path(os.path.abspath(animation_path)).parent
    for start in (folder, *folder.parents):
        found = matched(start, parts)
        if found is not None:
            return str(found)
    return None


def inside_parts(location: str) -> list[str] | None:
    """The names `location` goes through, `.` and `..` taken within it; None for an
    absolute location or one whose `..` climbs out of the folder it starts from."""
    if location.startswith("/"):
        return None
    parts: list[str] = []
    for part in location.split("/"):
        if part == "..":
            if not parts:
                return None
            parts.pop()
        elif part not in ("", "."):
            parts.append(part)
    return parts


def matched(folder: Path, parts: list[str]) -> Path | None:
    """The regular file below `folder` whose names match `parts` ignoring case, the
    first in name order when several do. Walked without recursion: a location may
    have more parts than Python's stack has frames."""
    pending = [(folder, 0)]
    while pending:
        place, depth = pending.pop()
        if depth == len(parts):
            if os.path.isfile(place):
                return place
            continue
        wanted = parts[depth].casefold()
        try:
            with os.scandir(place) as listing:
                names = sorted(entry.name for entry in listing if entry.name.casefold() == wanted)
        except OSError:
            continue  # a folder that cannot be listed holds nothing to find
        pending.extend((place / name, depth + 1) for name in reversed(names))
    return None
