"""What a gallery site remembers between runs: one entry per animation, holding its
card, the files it wrote and the size and modification time of each file its
result depends on (the animation file, and the palette file it was drawn with).
An entry whose files are all unchanged is reused as it is; the rest are redone."""

from __future__ import annotations

import json
import os
from pathlib import Path

import ravir

from ravir_tools import atomic_file
from ravir_tools.errors import ToolError

NAME = "gallery-state.json"
FORMAT = 2  # of the entries and the pages: a new one redoes every animation

Stamp = list  # [absolute path, size, modification time in ns]


def stamp(path: str | os.PathLike) -> Stamp | None:
    try:
        status = os.stat(path)
    except OSError:
        return None
    return [os.path.abspath(path), status.st_size, status.st_mtime_ns]


class State:
    def __init__(self, site: Path, options: dict):
        self.path = site / NAME
        self.header = {"format": FORMAT, "ravir": ravir.__version__, "options": options}
        self.entries: dict[str, dict] = {}  # by page
        self.reusable = False  # whether the entries were made as this run would make them
        self._stamps: dict[str, Stamp | None] = {}  # palettes are shared: each is looked at once

    def read(self) -> None:
        """Takes the entries of the previous run."""
        try:
            previous = json.loads(self.path.read_text())
            entries = previous["entries"]
        except (OSError, ValueError, KeyError, TypeError) as error:
            raise ToolError(self.path, f"cannot be read ({error}): remove it to build the site anew") from None
        self.entries = {e["page"]: e for e in entries if isinstance(e, dict) and isinstance(e.get("page"), str)}
        self.reusable = all(previous.get(key) == value for key, value in self.header.items())

    def fresh(self, page: str, source: Path) -> dict | None:
        """The previous entry of `page` when it was made from `source` and none of the
        files it depends on changed since."""
        entry = self.entries.get(page)
        if not self.reusable or entry is None or not entry.get("inputs"):
            return None
        inputs = entry["inputs"]
        if inputs[0] != stamp(source):
            return None
        return entry if all(self._stamp(s[0]) == s for s in inputs[1:]) else None

    def _stamp(self, path: str) -> Stamp | None:
        if path not in self._stamps:
            self._stamps[path] = stamp(path)
        return self._stamps[path]

    def write(self, entries: list[dict]) -> None:
        atomic_file.write_text(self.path, json.dumps({**self.header, "entries": entries}) + "\n")
