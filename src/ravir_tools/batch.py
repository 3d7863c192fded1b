"""Many inputs in one run: folders expanded, the work spread over worker processes,
what each input has to say shown in input order under a progress bar, and one
failing file reported while the rest are still done.

A command hands the runner a function that does the work for one input and tells
a Report what to print; the function runs in a worker process (or in this one,
with one job), so it must be picklable: a module-level function, or an instance of
a module-level class holding plain values. Whatever the number of jobs, the files
written, the lines printed and the exit status are the same."""

from __future__ import annotations

import functools
import os
import re
import sys
from collections.abc import Callable, Iterable, Iterator
from dataclasses import dataclass, field, replace
from pathlib import Path
from typing import Any

from tqdm import tqdm

from ravir_tools.errors import ToolError
from ravir_tools.worker_pool import Pool, stoppable


@dataclass(frozen=True)
class Input:
    """One file of a run. Kept as text until the work on it asks for paths: parsing
    a path interns each of its parts for the life of the process, which a run over
    many thousand files must not pay for in the process that runs it."""

    file: str
    stem: str  # the file's name without suffix, below the folder it was found in
    clash: str | None = None  # an earlier input of the run whose outputs would take names of this one's
    game: str = ""  # the folder given that it was found in; "" for a file given itself

    @property
    def path(self) -> Path:
        return Path(self.file)

    @property
    def name(self) -> Path:
        return Path(self.stem)


def natural_key(text: str) -> list:
    """Orders frame_2 before frame_10."""
    return [int(part) if part.isdigit() else part.lower() for part in re.split(r"(\d+)", text)]


class InputFiles:
    """The inputs of a run, found as the run reaches them: each argument as it is,
    or, for a folder, the files in it and below it whose names end in `suffix` (any
    case), each folder's entries in natural order (frame_2 before frame_10), a
    subfolder's files in its place among them.
    A run over thousands of files so keeps none of them in memory. len() walks the
    folders once to count them, and raises ToolError for a folder that holds none.

    Inputs whose outputs would take the same names (`claims` gives the names an
    input's outputs take from its stem; by default the stem alone) name the first
    such input as their `clash`. Within one folder that takes one folder's listing;
    across several arguments, the names of the arguments before."""

    def __init__(self, arguments: Iterable[str | Path], suffix: str,
                 claims: Callable[[str], list[str]] = lambda stem: [stem]):
        self.arguments = [os.fspath(argument) for argument in arguments]
        self.suffix = suffix
        self.claims = claims
        self.count = sum(1 for _ in self)

    def __len__(self) -> int:
        return self.count

    def __iter__(self) -> Iterator[Input]:
        earlier: dict[str, str] | None = {} if len(self.arguments) > 1 else None
        for argument in self.arguments:
            if os.path.isdir(argument):
                found = self._below(argument, "")
            else:
                found = iter([Input(argument, os.path.splitext(os.path.basename(argument))[0])])
            empty = True
            for item in found:
                empty = False
                if earlier is not None and item.clash is None:
                    item = replace(item, clash=self._claim(earlier, item))
                yield item
            if empty:
                raise ToolError(argument, f"no {self.suffix} files found")

    def _below(self, root: str, folder: str) -> Iterator[Input]:
        with os.scandir(os.path.join(root, folder)) as listing:
            entries = sorted(listing, key=lambda entry: natural_key(entry.name))
        taken: dict[str, str] = {}  # within one folder: x.orv beside x.ORV, or x_sheet.orv beside x.orv
        for entry in entries:
            if entry.is_dir(follow_symlinks=False):
                yield from self._below(root, f"{folder}{entry.name}/")
            elif entry.name.lower().endswith(self.suffix) and entry.is_file():
                item = Input(os.path.join(root, folder, entry.name), folder + entry.name[: -len(self.suffix)],
                             game=root)
                yield replace(item, clash=self._claim(taken, item))

    def _claim(self, taken: dict[str, str], item: Input) -> str | None:
        """Takes the names of `item`'s outputs; the first input that took one before, if any."""
        clash = None
        for name in self.claims(item.stem):
            first = taken.setdefault(name, item.file)
            if first != item.file and clash is None:
                clash = first
        return clash


def default_jobs() -> int:
    """The cores this process may run on."""
    return len(os.sched_getaffinity(0))


@dataclass
class Report:
    """What the work on one input has to say, and its result for the command."""

    lines: list[tuple[bool, str]] = field(default_factory=list)  # (to standard error, text)
    once: dict[str, str] = field(default_factory=dict)  # warnings a run shows only the first time, by kind
    failed: bool = False
    result: Any = None

    def out(self, text: str) -> None:
        self.lines.append((False, text))

    def warn(self, path: Path | str, message: str) -> None:
        self.lines.append((True, f"{path}: warning: {message}"))

    def warn_once(self, kind: str, path: Path | str, message: str) -> None:
        """A warning that the run shows for the first input that has one of its `kind` only."""
        self.once.setdefault(kind, f"{path}: warning: {message}")

    def fail(self, message: str) -> None:
        self.failed = True
        self.lines.append((True, message))


Work = Callable[[Input, Report], None]


class _Bar(tqdm):
    # No monitor thread: workers are forked, and a thread must never be forked.
    monitor_interval = 0


def attempt(work: Work, item: Input) -> Report:
    """Runs `work` on one input; a ToolError fails only that input, and so does
    running out of memory."""
    report = Report()
    with stoppable():
        try:
            work(item, report)
        except ToolError as error:
            report.fail(str(error))
        except MemoryError:
            report.fail(f"{item.file}: there is not memory enough to work on it")
    return report


def worker_died(item: Input, how: str, placing: bool) -> Report:
    report = Report()
    written = ("it ended as its files were taking their places: some may be new, the others as they were"
               if placing else "nothing of it was written")
    report.fail(f"{item.file}: its worker ended ({how}); {written}")
    return report


class Batch:
    """Runs one piece of work per input, `jobs` at a time."""

    def __init__(self, prog: str, inputs: list[Input], jobs: int = 1):
        self.prog = prog
        self.inputs = inputs
        self.jobs = max(1, min(jobs, len(inputs)))
        self.failed = 0
        self.bar: _Bar | None = None
        self.said_once: set[str] = set()

    def say(self, message: str) -> None:
        """A line on standard error that never garbles the bar."""
        tqdm.write(f"{self.prog}: {message}", file=sys.stderr)

    def warn(self, path: Path | str, message: str) -> None:
        self.say(f"{path}: warning: {message}")

    def fail(self, error: ToolError) -> None:
        self.failed += 1
        self.say(str(error))

    def run(self, work: Work, on_result: Callable[[Any], None] | None = None) -> int:
        """Shows each input's lines and hands its result to `on_result`, in input
        order, as soon as the inputs before it are done; an input that failed may
        still have a result (what the command could make of it). 1 when any input
        failed."""
        with _Bar(total=len(self.inputs), file=sys.stderr, disable=None if len(self.inputs) > 1 else True,
                  unit="file", dynamic_ncols=True, leave=False) as self.bar:
            for item, report in self.reports(work):
                self.bar.set_postfix_str(item.file, refresh=False)
                for kind, text in report.once.items():
                    if kind not in self.said_once:
                        self.said_once.add(kind)
                        self.say(text)
                for to_error, text in report.lines:
                    if to_error:
                        self.say(text)
                    else:
                        tqdm.write(text, file=sys.stdout)
                if report.failed:
                    self.failed += 1
                if on_result is not None and report.result is not None:
                    on_result(report.result)
                self.bar.update(1)
        sys.stdout.flush()
        return 1 if self.failed else 0

    def reports(self, work: Work) -> Iterator[tuple[Input, Report]]:
        if self.jobs == 1:
            for item in self.inputs:
                yield item, attempt(work, item)
            return
        # A few inputs ahead of the one shown keep every worker busy, while the reports
        # waiting to be shown, and so the memory, stay bounded.
        pool = Pool(functools.partial(attempt, work), self.jobs, worker_died)
        yield from pool.results(self.inputs, 4 * self.jobs)
