"""Many inputs in one run: folders expanded, a progress bar, and one failing file
reported while the rest are still done."""

from __future__ import annotations

import re
import shutil
import sys
from collections.abc import Callable, Iterable
from dataclasses import dataclass
from pathlib import Path

from ravir_tools.errors import ToolError


@dataclass(frozen=True)
class Input:
    path: Path
    name: Path  # the file's name without suffix, below the folder it was found in


def natural_key(path: Path) -> list:
    """Orders frame_2 before frame_10."""
    return [int(part) if part.isdigit() else part.lower() for part in re.split(r"(\d+)", str(path))]


def expand(arguments: Iterable[str], suffix: str) -> list[Input]:
    """Each argument as it is, or, for a folder, the files in it and below it whose
    names end in `suffix` (any case), in natural order."""
    inputs = []
    for argument in arguments:
        path = Path(argument)
        if not path.is_dir():
            inputs.append(Input(path, Path(path.stem)))
            continue
        found = [p for p in path.rglob("*") if p.is_file() and p.suffix.lower() == suffix]
        inputs += [Input(p, p.relative_to(path).with_suffix("")) for p in sorted(found, key=natural_key)]
    return inputs


class Progress:
    """A one-line bar on standard error, drawn only there is a person to see it."""

    def __init__(self, total: int):
        self.total = total
        self.shown = total > 1 and sys.stderr.isatty()

    def show(self, done: int, label: str) -> None:
        if not self.shown:
            return
        width = 24
        filled = width * done // self.total
        line = f"[{'#' * filled}{'.' * (width - filled)}] {done}/{self.total} {label}"
        sys.stderr.write("\r\033[K" + line[: shutil.get_terminal_size().columns - 1])
        sys.stderr.flush()

    def clear(self) -> None:
        if self.shown:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()


class Batch:
    """Runs one piece of work per input; a ToolError fails only its own input."""

    def __init__(self, prog: str, inputs: list[Input]):
        self.prog = prog
        self.inputs = inputs
        self.progress = Progress(len(inputs))
        self.failed = 0

    def say(self, message: str) -> None:
        self.progress.clear()
        print(f"{self.prog}: {message}", file=sys.stderr, flush=True)

    def warn(self, path: Path, message: str) -> None:
        self.say(f"{path}: warning: {message}")

    def fail(self, error: ToolError) -> None:
        self.failed += 1
        self.say(str(error))

    def run(self, work: Callable[[Input], None]) -> int:
        for done, item in enumerate(self.inputs):
            self.progress.show(done, str(item.path))
            try:
                work(item)
            except ToolError as error:
                self.fail(error)
        self.progress.clear()
        return 1 if self.failed else 0
