"""Every file the tool writes replaces its target in one step, so that a failed or
interrupted write never leaves a half-written file under the final name.

The new content goes to a hidden file in the target's folder (whose name ends in
".tmp", so that no folder scan takes it for an animation, palette or image), is
flushed to the disk, gets the permission bits of the file it replaces and is then
renamed over it; the folder is flushed last, so that the rename itself survives a
crash. A symbolic link keeps pointing where it did: the file it names is replaced.
A file with several hard links is replaced at the name given only; its other names
keep the previous content. A target that is not a regular file (a FIFO, a terminal,
/dev/stdout) cannot be renamed over and is written in place."""

from __future__ import annotations

import contextlib
import os
import secrets
import stat
from collections.abc import Iterator
from typing import BinaryIO


@contextlib.contextmanager
def replacing(path: str | os.PathLike) -> Iterator[BinaryIO]:
    """A binary file to write the new content of `path` into. When the block ends
    normally the content takes the place of `path`; when it raises (KeyboardInterrupt
    included) the previous file stays exactly as it was. OSError names `path`."""
    target = os.path.realpath(path)
    try:
        previous: os.stat_result | None = os.stat(target)
    except FileNotFoundError:
        previous = None
    except OSError as error:
        raise OSError(error.errno, error.strerror, os.fspath(path)) from None
    if previous is not None and not stat.S_ISREG(previous.st_mode):
        with _named(path), open(target, "wb") as stream:
            yield stream
        return

    folder, name = os.path.split(target)
    temporary = os.path.join(folder, f".{name}.{secrets.token_hex(4)}.tmp")
    with _named(path):
        # 0o666 as for any new file: the umask takes its usual share.
        descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
    try:
        # Named outermost: closing flushes what the stream still buffers, and that
        # failure, which replaces the first one, must name the file as well.
        with _named(path), open(descriptor, "wb") as stream:
            yield stream
            stream.flush()
            if previous is not None:
                _keep_owner_and_mode(stream.fileno(), previous)
            os.fsync(stream.fileno())
        with _named(path):
            os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise
    _sync_folder(folder)


def write_bytes(path: str | os.PathLike, data: bytes) -> None:
    with replacing(path) as stream:
        stream.write(data)


def write_text(path: str | os.PathLike, text: str) -> None:
    write_bytes(path, text.encode())


@contextlib.contextmanager
def _named(path: str | os.PathLike) -> Iterator[None]:
    """Reports a failure against the file the caller named, not the hidden one."""
    try:
        yield
    except OSError as error:
        if error.errno is None:
            raise
        raise OSError(error.errno, error.strerror, os.fspath(path)) from None


def _keep_owner_and_mode(descriptor: int, previous: os.stat_result) -> None:
    os.fchmod(descriptor, stat.S_IMODE(previous.st_mode))
    if (previous.st_uid, previous.st_gid) != (os.geteuid(), os.getegid()):
        # Only a privileged process may give a file away; others keep what they get.
        with contextlib.suppress(PermissionError):
            os.fchown(descriptor, previous.st_uid, previous.st_gid)


def _sync_folder(folder: str) -> None:
    try:
        descriptor = os.open(folder or ".", os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC)
    except OSError:
        return  # the rename is done; a folder that cannot be opened cannot be flushed either
    try:
        os.fsync(descriptor)
    except OSError:
        pass  # some file systems do not flush folders
    finally:
        os.close(descriptor)
