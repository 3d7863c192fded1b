"""Every file the tool writes replaces its target in one step, so that a failed or
interrupted write never leaves a half-written file under the final name.

The new content goes to a hidden file in the target's folder (whose name ends in
".tmp", so that no folder scan takes it for an animation, palette or image), is
flushed to the disk, gets the permission bits of the file it replaces and is then
renamed over it; the folder is flushed last, so that the rename itself survives a
crash. A symbolic link keeps pointing where it did: the file it names is replaced.
A file with several hard links is replaced at the name given only; its other names
keep the previous content. A target that is not a regular file (a FIFO, a terminal,
/dev/stdout) cannot be renamed over and is written in place.

Flushing to the disk costs milliseconds a file, which would dominate a batch of
thousands of small images: files written within `together()` are flushed with one
call for all of them and renamed when the block ends. Each starts on its way to the
disk as soon as it is written, so that the flush waits for little."""

from __future__ import annotations

import contextlib
import contextvars
import ctypes
import os
import secrets
import stat
from collections.abc import Callable, Iterator
from dataclasses import dataclass, field
from typing import BinaryIO


@contextlib.contextmanager
def replacing(path: str | os.PathLike) -> Iterator[BinaryIO]:
    """A binary file to write the new content of `path` into. When the block ends
    normally the content takes the place of `path` (within `together()`, when that
    block ends); when it raises (KeyboardInterrupt included) the previous file stays
    exactly as it was. OSError names `path`."""
    named = target = os.fspath(path)
    try:
        previous: os.stat_result | None = os.lstat(named)
        if stat.S_ISLNK(previous.st_mode):
            # Only a link at the end of the path needs following: a linked folder on
            # the way holds the hidden file and the rename alike.
            target = os.path.realpath(named)
            previous = os.stat(target)
    except FileNotFoundError:
        previous = None
    except OSError as error:
        raise OSError(error.errno, error.strerror, named) from None
    if previous is not None and not stat.S_ISREG(previous.st_mode):
        with _named(named), open(target, "wb") as stream:
            yield stream
        return

    folder, name = os.path.split(target)
    pending = _Pending(os.path.join(folder, f".{name}.{secrets.token_hex(4)}.tmp"), target, named)
    if _announce is not None:
        _announce("hidden", pending.temporary)
    # Whatever interrupts from here on, the hidden file belongs to a group that
    # removes it unless it took its place.
    group = _current.get() or _Group()
    group.files.append(pending)
    try:
        # One handler names `path` in every failure: opening, writing, and closing,
        # which flushes what the stream still buffers.
        try:
            # 0o666 as for any new file: the umask takes its usual share.
            descriptor = os.open(pending.temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
            with open(descriptor, "wb") as stream:
                yield stream
                stream.flush()
                if previous is not None:
                    _keep_owner_and_mode(stream.fileno(), previous)
                if group is not _current.get():
                    os.fsync(stream.fileno())
                else:
                    _start_writeback(stream.fileno())
        except OSError as error:
            raise _renamed(error, named) from None
        if group is not _current.get():
            group.place()
    except BaseException:
        if pending in group.files:
            group.files.remove(pending)
            pending.discard()
        raise


def announce_to(announce: Callable[[str, str], None]) -> None:
    """Has `announce` told ("hidden", path) before each hidden file is made, and
    ("placing", path) before files start to take their places: a batch worker tells
    its parent, which removes the hidden files should the worker die, and knows
    whether any file was replaced by then."""
    global _announce
    _announce = announce


_announce: Callable[[str, str], None] | None = None


def write_bytes(path: str | os.PathLike, data: bytes) -> None:
    with replacing(path) as stream:
        stream.write(data)


def write_text(path: str | os.PathLike, text: str) -> None:
    write_bytes(path, text.encode())


def write_image(path: str | os.PathLike, image, format: str = "PNG", **options) -> None:
    """A Pillow image saved in `format`; `options` are Pillow's for the format."""
    with replacing(path) as stream:
        image.save(stream, format=format, **options)


@contextlib.contextmanager
def together() -> Iterator[None]:
    """The files written within the block are flushed to the disk together and take
    their places when it ends normally; when it raises, none of them replaces
    anything. Each file is still replaced whole or not at all. The files of a
    block within another, once it ends normally, go with the outer block's."""
    outer = _current.get()
    group = _Group()
    token = _current.set(group)
    try:
        yield
        if outer is not None:
            outer.files.extend(group.files)
            return
        group.flush()
        group.place()
    except BaseException:
        group.discard()
        raise
    finally:
        _current.reset(token)


@dataclass
class _Pending:
    temporary: str
    target: str
    named: str  # as the caller named it, for messages

    def discard(self) -> None:
        with contextlib.suppress(OSError):
            os.unlink(self.temporary)


@dataclass
class _Group:
    files: list[_Pending] = field(default_factory=list)  # those not placed yet

    def flush(self) -> None:
        """One flush of the file system holding the files, where the system offers
        it; else one per file."""
        if not self.files:
            return
        descriptor = os.open(self.files[0].temporary, os.O_RDONLY | os.O_CLOEXEC)
        try:
            if _syncfs is not None and _syncfs(descriptor) == 0:
                return
        finally:
            os.close(descriptor)
        for pending in self.files:
            descriptor = os.open(pending.temporary, os.O_RDONLY | os.O_CLOEXEC)
            try:
                os.fsync(descriptor)
            finally:
                os.close(descriptor)

    def place(self) -> None:
        """Renames every file over its target, then flushes each folder once."""
        folders = dict.fromkeys(os.path.dirname(pending.target) for pending in self.files)
        if _announce is not None and self.files:
            _announce("placing", self.files[-1].target)
        while self.files:
            pending = self.files[-1]
            with _named(pending.named):
                os.replace(pending.temporary, pending.target)
            self.files.pop()
        for folder in folders:
            _sync_folder(folder)

    def discard(self) -> None:
        for pending in self.files:
            pending.discard()
        self.files.clear()


_current: contextvars.ContextVar[_Group | None] = contextvars.ContextVar("atomic_file_group", default=None)


def _load(name: str, *argtypes):
    """The C library's function `name`, where the system has it."""
    try:
        function = getattr(ctypes.CDLL(None, use_errno=True), name)
    except (OSError, AttributeError):
        return None
    function.argtypes = list(argtypes)
    return function


_syncfs = _load("syncfs", ctypes.c_int)
_sync_file_range = _load("sync_file_range", ctypes.c_int, ctypes.c_int64, ctypes.c_int64, ctypes.c_uint)
_SYNC_FILE_RANGE_WRITE = 2


def _start_writeback(descriptor: int) -> None:
    """Starts writing the file to the disk without waiting, so that the flush of its
    group finds little left to write. Only a head start: errors surface at the flush."""
    if _sync_file_range is not None:
        _sync_file_range(descriptor, 0, 0, _SYNC_FILE_RANGE_WRITE)


@contextlib.contextmanager
def _named(path: str) -> Iterator[None]:
    """Reports a failure against the file the caller named, not the hidden one."""
    try:
        yield
    except OSError as error:
        raise _renamed(error, path) from None


def _renamed(error: OSError, path: str) -> OSError:
    if error.errno is None:
        return error
    return OSError(error.errno, error.strerror, path)


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
