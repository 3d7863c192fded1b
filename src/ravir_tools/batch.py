"""Many inputs in one run: folders expanded, the work spread over worker processes,
what each input has to say shown in input order under a progress bar, and one
failing file reported while the rest are still done.

A command hands the runner a function that does the work for one input and tells
a Report what to print; the function runs in a worker process (or in this one,
with one job), so it must be picklable: a module-level function, or an instance of
a module-level class holding plain values. Whatever the number of jobs, the files
written, the lines printed and the exit status are the same."""

from __future__ import annotations

import multiprocessing
import os
import re
import signal
import sys
from collections import deque
from collections.abc import Callable, Iterable, Iterator
from concurrent.futures import Future, ProcessPoolExecutor
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from tqdm import tqdm

from ravir_tools.errors import ToolError

tqdm.monitor_interval = 0


@dataclass(frozen=True)
class Input:
    path: Path
    name: Path  # the file's name without suffix, below the folder it was found in


def natural_key(path: Path) -> list:
    """Orders frame_2 before frame_10."""
    return [int(part) if part.isdigit() else part.lower() for part in re.split(r"(\d+)", str(path))]


def expand(arguments: Iterable[str], suffix: str) -> list[Input]:
    """Each argument as it is, or, for a folder, the files in it and below it whose
    names end in `suffix` (any case), in natural order. Raises ToolError for a folder
    that holds none."""
    inputs = []
    for argument in arguments:
        path = Path(argument)
        if not path.is_dir():
            inputs.append(Input(path, Path(path.stem)))
            continue
        found = [p for p in path.rglob("*") if p.is_file() and p.suffix.lower() == suffix]
        if not found:
            raise ToolError(path, f"no {suffix} files found")
        inputs += [Input(p, p.relative_to(path).with_suffix("")) for p in sorted(found, key=natural_key)]
    return inputs


def default_jobs() -> int:
    """The cores this process may run on."""
    return len(os.sched_getaffinity(0))


@dataclass
class Report:
    """What the work on one input has to say, and its result for the command."""

    lines: list[tuple[bool, str]] = field(default_factory=list)  # (to standard error, text)
    failed: bool = False
    result: Any = None

    def out(self, text: str) -> None:
        self.lines.append((False, text))

    def warn(self, path: Path | str, message: str) -> None:
        self.lines.append((True, f"{path}: warning: {message}"))

    def fail(self, message: str) -> None:
        self.failed = True
        self.lines.append((True, message))


Work = Callable[[Input, Report], None]


class _Stopped(BaseException):
    """Raised in a worker told to stop while it works, so that the file it writes is
    left behind whole or not at all."""


_working = False  # whether this worker is inside a piece of work


def attempt(work: Work, item: Input) -> Report:
    """Runs `work` on one input; a ToolError fails only that input."""
    global _working
    report = Report()
    _working = True
    try:
        work(item, report)
    except ToolError as error:
        report.fail(str(error))
    except _Stopped:
        os._exit(128 + signal.SIGTERM)
    finally:
        _working = False
    return report


class Batch:
    """Runs one piece of work per input, `jobs` at a time."""

    def __init__(self, prog: str, inputs: list[Input], jobs: int = 1):
        self.prog = prog
        self.inputs = inputs
        self.jobs = max(1, min(jobs, len(inputs)))
        self.failed = 0
        self.bar: tqdm | None = None

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
        with tqdm(total=len(self.inputs), file=sys.stderr, disable=None if len(self.inputs) > 1 else True,
                  unit="file", dynamic_ncols=True, leave=False) as self.bar:
            for item, report in self.reports(work):
                self.bar.set_postfix_str(str(item.path), refresh=False)
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
        yield from _in_workers(work, self.inputs, self.jobs)


def _in_workers(work: Work, inputs: list[Input], jobs: int) -> Iterator[tuple[Input, Report]]:
    # A few inputs ahead of the one shown keep every worker busy, while the reports
    # waiting to be shown, and so the memory, stay bounded.
    window = 4 * jobs
    # Forked workers start at once with everything this process has imported. The
    # executor forks them all before starting a thread of its own, and the bar runs
    # no monitor thread, so that no thread is ever forked.
    context = multiprocessing.get_context("fork")
    executor = ProcessPoolExecutor(jobs, mp_context=context, initializer=_worker_signals)
    pending: deque[tuple[Input, Future]] = deque()
    queued = iter(inputs)
    try:
        for item in queued:
            pending.append((item, executor.submit(attempt, work, item)))
            if len(pending) >= window:
                done, future = pending.popleft()
                yield done, future.result()
        while pending:
            done, future = pending.popleft()
            yield done, future.result()
    except BaseException:
        _stop(executor)
        raise
    executor.shutdown()


def _worker_signals() -> None:
    # Ctrl-C reaches the whole process group: the parent decides, and stops the
    # workers with SIGTERM, which ends the file being written cleanly (its hidden
    # temporary file removed) and the worker at once, without a traceback.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, _stop_worker)


def _stop_worker(signum, frame) -> None:
    if _working:
        raise _Stopped
    os._exit(128 + signum)


def _stop(executor: ProcessPoolExecutor) -> None:
    # The workers go first, each ending where it is; only then the executor, which
    # would otherwise pull their queues from under them.
    workers = multiprocessing.active_children()
    for worker in workers:
        worker.terminate()
    for worker in workers:
        worker.join(5)
        if worker.is_alive():
            worker.kill()
    executor.shutdown(wait=False, cancel_futures=True)
