"""What the text palette formats share: lines and the numbers on them."""

from __future__ import annotations

from pathlib import Path

from ravir_tools.errors import ToolError, excerpt


def text_lines(data: bytes) -> list[tuple[int, str]]:
    """The non-blank lines with their numbers (from 1), stripped."""
    text = data.decode("utf-8", errors="replace").removeprefix("\ufeff")
    return [(number, line.strip()) for number, line in enumerate(text.splitlines(), 1) if line.strip()]


def starts_with(data: bytes, header: str) -> bool:
    """Whether the text starts with `header`, after a byte order mark and blank space."""
    return data.lstrip(b"\xef\xbb\xbf \t\r\n").startswith(header.encode())


def parse_values(path: Path, number: int, line: str, count: int) -> list[int]:
    """The first `count` whole numbers of `line`, each from 0 to 255."""
    words = line.split()
    if len(words) < count:
        raise ToolError(path, f"line {number}: {excerpt(line)} holds {len(words)} values, a color needs {count}")
    values = []
    for word in words[:count]:
        try:
            value = int(word)
        except ValueError:
            raise ToolError(path, f"line {number}: {excerpt(word)} is not a number") from None
        if not 0 <= value <= 255:
            raise ToolError(path, f"line {number}: {value} is not from 0 to 255")
        values.append(value)
    return values
