"""The JSON files the tool writes and reads back: laid out to be read by people,
and read with every refusal naming the file and the place."""

from __future__ import annotations

import json
from pathlib import Path

from ravir_tools.errors import ToolError


def dumps(document: dict) -> str:
    """Indented JSON with each frame on a line of its own: as easy to read as fully
    indented JSON and a fraction of its length, and the fast encoder writes the lines."""
    return _laid_out(document, 0) + "\n"


def _laid_out(value, depth: int) -> str:
    if depth >= 2 or not value or not isinstance(value, (dict, list)):
        return json.dumps(value)
    inner = "  " * (depth + 1)
    if isinstance(value, dict):
        members = [f"{inner}{json.dumps(key)}: {_laid_out(item, depth + 1)}" for key, item in value.items()]
        return "{\n" + ",\n".join(members) + "\n" + "  " * depth + "}"
    members = [inner + _laid_out(item, depth + 1) for item in value]
    return "[\n" + ",\n".join(members) + "\n" + "  " * depth + "]"


def load_json(path: Path):
    try:
        text = path.read_text(encoding="utf-8")
    except FileNotFoundError:
        raise ToolError(path, "no such file") from None
    except OSError as error:
        raise ToolError(path, f"cannot read: {error.strerror}") from None
    except UnicodeDecodeError:
        raise ToolError(path, "is not JSON: it is not UTF-8 text") from None
    try:
        return json.loads(text)
    except json.JSONDecodeError as error:
        raise ToolError(path, f"is not valid JSON: {error.msg} at line {error.lineno}, column {error.colno}") from None


class Fields:
    """Checked access to one JSON object; every refusal names the file and the place."""

    def __init__(self, path: Path, value, where: str):
        if not isinstance(value, dict):
            raise ToolError(path, f"{where or 'the file'} is not a JSON object")
        self.path, self.value, self.where = path, value, where

    def fail(self, key: str, wanted: str):
        place = f"{self.where}: " if self.where else ""
        raise ToolError(self.path, f"{place}{key!r} must be {wanted}, not {json.dumps(self.value.get(key))}")

    def integer(self, key: str, allowed: range, optional: bool = False) -> int | None:
        value = self.value.get(key)
        if optional and value is None:
            return None
        if isinstance(value, bool) or not isinstance(value, int) or value not in allowed:
            self.fail(key, f"a whole number from {allowed.start} to {allowed.stop - 1}")
        return value

    def flag(self, key: str) -> bool:
        value = self.value.get(key)
        if not isinstance(value, bool):
            self.fail(key, "true or false")
        return value

    def text(self, key: str, optional: bool = False) -> str | None:
        value = self.value.get(key)
        if optional and value is None:
            return None
        if not isinstance(value, str):
            self.fail(key, "a string")
        return value

    def child(self, key: str, where: str) -> Fields:
        return Fields(self.path, self.value.get(key), where)

    def items(self, key: str) -> list:
        value = self.value.get(key)
        if not isinstance(value, list):
            self.fail(key, "a list")
        return value
