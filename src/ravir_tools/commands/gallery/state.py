"""What a gallery site remembers between runs: one entry per animation, holding its
card, the files it wrote and the size and modification time of each file its
result depends on (the animation file, and the palette file it was drawn with).
An entry whose files are all unchanged is reused as it is; the rest are redone."""

from __future__ import annotations

import json
import os
from pathlib import PurePosixPath
from pathlib import Path

import ravir

from ravir_tools import atomic_file
from ravir_tools.commands.gallery.site import FILES, PAGES
from ravir_tools.errors import ToolError
from ravir_tools.exchange.json_files import load_json

NAME = "gallery-state.json"
FORMAT = 2  # of the entries and the pages: a new one redoes every animation

Stamp = list  # [absolute path, size, modification time in ns]


def stamp(path: str | os.PathLike) -> Stamp | None:
    try:
        status = os.stat(path)
    except OSError:
        return None
    return [os.path.abspath(path), status.st_size, status.st_mtime_ns]


def is_entry(entry) -> bool:
    """Whether a remembered entry is one a run writes. The state file is data read
    back, so an entry is taken only when its page and every file it lists lie in the
    site's folders of pages and files (never the index, the assets, the state file
    or anything outside the site), and its stamps are stamps."""
    if not isinstance(entry, dict) or not isinstance(entry.get("card"), dict):
        return False
    files, inputs = entry.get("files"), entry.get("inputs")
    return (is_site_file(entry.get("page"), PAGES) and isinstance(files, list)
            and all(is_site_file(name, FILES) or name == entry["page"] for name in files)
            and isinstance(inputs, list) and all(is_stamp(stamp) for stamp in inputs))


def is_site_file(name, folder: str) -> bool:
    if not isinstance(name, str):
        return False
    parts = PurePosixPath(name).parts
    return len(parts) > 1 and parts[0] == folder and ".." not in parts and not PurePosixPath(name).is_absolute()


def is_stamp(value) -> bool:
    return (isinstance(value, list) and len(value) == 3 and isinstance(value[0], str)
            and all(type(number) is int for number in value[1:]))


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
            previous = load_json(self.path)
        except ToolError as error:
            raise ToolError(self.path, f"cannot be read ({str(error).removeprefix(f'{self.path}: ')}): remove it "
                                       "to build the site anew") from None
        entries = previous.get("entries") if isinstance(previous, dict) else None
        if not isinstance(entries, list):
            raise ToolError(self.path, "cannot be read (it lists no entries): remove it to build the site anew")
        self.entries = {e["page"]: e for e in entries if is_entry(e)}
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
