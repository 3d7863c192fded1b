"""Opening the files a user names, which may be anything: only regular files are
read (a FIFO would wait for ever, a device such as /dev/zero never ends, and so
would a link to either), and a file read whole is refused when it is larger than
its limit, before a byte of it is read."""

from __future__ import annotations

import os
import stat

from ravir_tools import limits
from ravir_tools.errors import ToolError


def open_input(path: str | os.PathLike) -> int:
    """A descriptor of the regular file at `path` (links followed), or ToolError
    naming it. Opening never blocks: a FIFO is refused, not waited on."""
    try:
        descriptor = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except FileNotFoundError:
        raise ToolError(path, "no such file") from None
    except IsADirectoryError:
        raise ToolError(path, "is a folder, not a file") from None
    except OSError as error:
        raise ToolError(path, f"cannot open: {error.strerror}") from None
    mode = os.fstat(descriptor).st_mode
    if not stat.S_ISREG(mode):
        os.close(descriptor)
        if stat.S_ISDIR(mode):
            raise ToolError(path, "is a folder, not a file")
        raise ToolError(path, f"is {_kind(mode)}, not a file: only regular files are read")
    return descriptor


def check_readable(path: str | os.PathLike) -> None:
    """Raises ToolError for an input that is missing, not a regular file or cannot be opened."""
    os.close(open_input(path))


def read_whole(path: str | os.PathLike, limit: int = limits.MAX_INPUT_BYTES) -> bytes:
    """The bytes of the regular file at `path`, refused above `limit` bytes."""
    with open(open_input(path), "rb") as stream:
        size = os.fstat(stream.fileno()).st_size
        try:
            data = stream.read(limit + 1) if size <= limit else b""
        except OSError as error:
            raise ToolError(path, f"cannot read: {error.strerror}") from None
    if size > limit or len(data) > limit:
        raise ToolError(path, f"is {max(size, len(data)):,} bytes, more than the {limit:,} a file read whole "
                              "may have")
    return data


def _kind(mode: int) -> str:
    if stat.S_ISFIFO(mode):
        return "a FIFO"
    if stat.S_ISCHR(mode) or stat.S_ISBLK(mode):
        return "a device"
    if stat.S_ISSOCK(mode):
        return "a socket"
    return "no regular file"


def is_same_file(a: str | os.PathLike, b: str | os.PathLike) -> bool:
    """Whether two names are one file, links followed; False when either is missing."""
    try:
        return os.path.samestat(os.stat(a), os.stat(b))
    except (OSError, ValueError):
        return False

