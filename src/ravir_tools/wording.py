"""Counts as people read them in the lines the tools print."""

from __future__ import annotations


def counted(count: int, noun: str, plural: str | None = None) -> str:
    """`1 frame`, `2 frames`; `plural` where adding an s is wrong (`entries`)."""
    return f"{count} {noun if count == 1 else plural or noun + 's'}"
