"""The one kind of failure the tool reports to users: one line naming what it is
about. Raised where the problem is found; `cli.main` alone prints it."""

import os


class ToolError(Exception):
    """A problem a user can act on. `subject` is what the line names first: the file
    at fault, or the option (`--speed`) whose value is."""

    def __init__(self, subject: str | os.PathLike, message: str):
        super().__init__(f"{os.fspath(subject)}: {message}")


class UsageError(Exception):
    """Options that cannot go together; shown with the command's usage."""


def excerpt(text: str, limit: int = 40) -> str:
    """A user's text quoted in a message: whole when short, else its start, so that a
    line stays a line whatever the file holds."""
    return repr(text) if len(text) <= limit else repr(text[:limit]) + "..."
