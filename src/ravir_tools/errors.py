"""The one kind of failure the tool reports to users: a line naming the file."""

from pathlib import Path


class ToolError(Exception):
    """A problem a user can act on, about one file."""

    def __init__(self, path, message: str):
        super().__init__(f"{path}: {message}")


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
