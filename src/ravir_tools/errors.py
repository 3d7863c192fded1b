"""The one kind of failure the tool reports to users: a line naming the file."""


class ToolError(Exception):
    """A problem a user can act on, about one file."""

    def __init__(self, path, message: str):
        super().__init__(f"{path}: {message}")
