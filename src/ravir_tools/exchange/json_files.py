"""The JSON files the tool writes and reads back: laid out to be read by people,
and read with every refusal naming the file and the place."""

from __future__ import annotations

import json
import os
from pathlib import Path

from ravir_tools import limits
from ravir_tools.errors import ToolError, excerpt
from ravir_tools.input_files import read_whole


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
    """The JSON value of the file at `path`, read within the limits of any input."""
    try:
        text = read_whole(path).decode("utf-8")
    except UnicodeDecodeError:
        raise ToolError(path, "is not JSON: it is not UTF-8 text") from None
    return parse_json(text, path)


class _TooLong(ValueError):
    pass


def _number(convert):
    def parse(text: str):
        if len(text) > limits.MAX_JSON_NUMBER_DIGITS:
            raise _TooLong(text)
        return convert(text)
    return parse


_INTEGER, _REAL = _number(int), _number(float)


def parse_json(text: str, subject: str | os.PathLike):
    """The one way the tools read JSON: `text` as a value, refused with a ToolError
    naming `subject` when it is not valid JSON or goes past the limits (nested too
    deep, too many objects and lists, a number too long), before it can cost much."""
    containers = text.count("{") + text.count("[")  # brackets in strings count too: an upper bound
    if containers > limits.MAX_JSON_CONTAINERS:
        raise ToolError(subject, f"is JSON of more than {limits.MAX_JSON_CONTAINERS:,} objects and lists")
    try:
        value = json.loads(text, parse_int=_INTEGER, parse_float=_REAL)
    except json.JSONDecodeError as error:
        raise ToolError(subject, f"is not valid JSON: {error.msg} at line {error.lineno}, column {error.colno}") \
            from None
    except _TooLong as error:
        raise ToolError(subject, f"is JSON with a number of {len(str(error))} digits, more than "
                                 f"{limits.MAX_JSON_NUMBER_DIGITS}") from None
    except RecursionError:
        too_deep = True  # deeper than the interpreter goes, so deeper than the limit
    else:
        too_deep = _depth(value) > limits.MAX_JSON_DEPTH
    if too_deep:
        raise ToolError(subject, f"is JSON nested more than {limits.MAX_JSON_DEPTH} deep")
    return value


def _depth(value) -> int:
    """How deep objects and lists nest in `value` (a number is 0 deep), level by
    level without recursion, stopping past the limit."""
    depth, level = 0, [value]
    while depth <= limits.MAX_JSON_DEPTH:
        containers = [item for item in level if isinstance(item, (dict, list))]
        if not containers:
            break
        depth += 1
        level = [item for container in containers
                 for item in (container.values() if isinstance(container, dict) else container)]
    return depth


class Fields:
    """Checked access to one JSON object; every refusal names the file and the place."""

    def __init__(self, path: Path, value, where: str):
        if not isinstance(value, dict):
            raise ToolError(path, f"{where or 'the file'} is not a JSON object")
        self.path, self.value, self.where = path, value, where

    def fail(self, key: str, wanted: str):
        place = f"{self.where}: " if self.where else ""
        raise ToolError(self.path, f"{place}{excerpt(key)} must be {wanted}, not "
                                   f"{excerpt(json.dumps(self.value.get(key)))}")

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
