"""Runs the command-line tool as a user would: in a process of its own."""

import re
import resource
import subprocess
import sys
from pathlib import Path

from PIL import Image


def ravir(*args, cwd=None, ok=True, address_space: int | None = None) -> subprocess.CompletedProcess:
    """The command's result; with `address_space`, run within that many bytes of memory."""
    def limited():
        resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))

    result = subprocess.run([sys.executable, "-m", "ravir_tools", *map(str, args)], cwd=cwd,
                            capture_output=True, text=True, timeout=120,
                            preexec_fn=limited if address_space is not None else None)
    assert "Traceback" not in result.stderr, result.stderr
    if ok:
        assert result.returncode == 0, result.stderr
    return result


# The line a run of render, palette or gallery ends with, unless -q.
SUMMARY = re.compile(r"ravir (render|palette|gallery): wrote ")


def problems(result: subprocess.CompletedProcess) -> list[str]:
    """The lines on standard error but the run's summary."""
    return [line for line in result.stderr.splitlines() if not SUMMARY.match(line)]


def one_error(result: subprocess.CompletedProcess, *words: str) -> str:
    """The single line a failed run printed besides its summary, checked to name each of `words`."""
    assert result.returncode == 1
    lines = problems(result)
    assert len(lines) == 1, result.stderr
    for word in words:
        assert str(word) in lines[0]
    return lines[0]


def rgba(frame) -> bytes:
    """The pixels of a rendered frame, or of an image file, as RGBA bytes."""
    if isinstance(frame, (str, Path)):
        with Image.open(frame) as image:
            return image.convert("RGBA").tobytes()
    return frame.pixels


def pixels(image: Image.Image) -> list[tuple[int, int, int, int]]:
    data = image.convert("RGBA").tobytes()
    return [tuple(data[i:i + 4]) for i in range(0, len(data), 4)]
