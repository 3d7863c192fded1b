"""One run at a time writes into an output folder: two renders into one folder at
once would leave a manifest of one beside frames of both. The lock is the kernel's
on the folder itself, so that it ends with the process that holds it however that
ends; a note beside it says which run holds it."""

from __future__ import annotations

import contextlib
import fcntl
import os
import time
from collections.abc import Iterator
from pathlib import Path

from ravir_tools import atomic_file
from ravir_tools.errors import ToolError
from ravir_tools.input_files import read_whole

HOLDER = ".ravir-lock"  # hidden, and no name a command reads as an input
MAX_HOLDER_BYTES = 4096


@contextlib.contextmanager
def locked(folder: Path, command: str) -> Iterator[None]:
    """Holds `folder`, made when missing, for the block; ToolError naming the run
    that holds it already."""
    try:
        folder.mkdir(parents=True, exist_ok=True)
        descriptor = os.open(folder, os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC)
    except OSError as error:
        raise ToolError(folder, f"cannot be written: {error.strerror}") from None
    note = folder / HOLDER
    try:
        try:
            fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            raise ToolError(folder, f"is being written by another run ({holder(note)}); wait for it to end, or "
                                    "write elsewhere") from None
        try:
            atomic_file.write_text(note, f"{command}, process {os.getpid()}, since {time.strftime('%H:%M:%S')}\n")
        except OSError:
            pass  # the lock holds without its note; the run says what it cannot write, file by file
        try:
            yield
        finally:
            with contextlib.suppress(OSError):
                note.unlink()
    finally:
        os.close(descriptor)


def holder(note: Path) -> str:
    try:
        return read_whole(note, MAX_HOLDER_BYTES).decode(errors="replace").strip() or "it says not which"
    except ToolError:
        return "it says not which"
