"""The one kind of failure the tool reports to users: one line naming what it is
about. Raised where the problem is found; `cli.main` alone prints it."""

import os
from pathlib import Path


class ToolError(Exception):
    """A problem a user can act on. `subject` is what the line names first: the file
    at fault, or the option (`--speed`) whose value is."""

    def __init__(self, subject: str | os.PathLike, message: str):
        super().__init__(f"{os.fspath(subject)}: {message}")


class UsageError(Exception):
    """Options that cannot go together; shown with the command's usage."""


def check_readable(path: Path) -> None:
    """Raises ToolError for an input that is missing, a folder or cannot be opened."""
    if not path.exists():
        raise ToolError(path, "no such file")
    if path.is_dir():
        raise ToolError(path, "is a folder, not a file")
    try:
        path.open("rb").close()
    except OSError as error:
        raise ToolError(path, f"cannot open: {error.strerror}") from None
