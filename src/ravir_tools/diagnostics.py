"""The core reports problems in the data as "ERROR: ..." lines on standard error.
The tool catches them around each call, so that it can name the file they belong
to, or turn them into its own one-line error."""

from __future__ import annotations

import contextlib
import os
import sys
import tempfile
from collections.abc import Iterator


@contextlib.contextmanager
def core_lines() -> Iterator[list[str]]:
    """Captures what native code writes to file descriptor 2 while the block runs;
    the list yielded is filled with its lines, "ERROR: " removed, when it ends."""
    lines: list[str] = []
    sys.stderr.flush()
    saved = os.dup(2)
    with tempfile.TemporaryFile() as sink:
        os.dup2(sink.fileno(), 2)
        try:
            yield lines
        finally:
            os.dup2(saved, 2)
            os.close(saved)
            sink.seek(0)
            text = sink.read().decode("utf-8", "replace")
            lines.extend(line.removeprefix("ERROR: ") for line in text.splitlines())
