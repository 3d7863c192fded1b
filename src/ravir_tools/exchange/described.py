"""A manifest or an atlas, whichever a JSON file that render wrote is."""

from __future__ import annotations

from pathlib import Path

from ravir_tools.exchange.atlas import is_atlas, read_atlas
from ravir_tools.exchange.json_files import load_json
from ravir_tools.exchange.manifest import Manifest, read_manifest


def read_described(path: Path) -> Manifest:
    """The animation the manifest or atlas at `path` describes; a ToolError naming it
    for anything it cannot be."""
    return described(path, load_json(path))


def described(path: Path, document) -> Manifest:
    """The animation the JSON `document` of the file at `path` describes."""
    return read_atlas(path, document) if is_atlas(document) else read_manifest(path, document)
