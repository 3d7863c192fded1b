"""Worker processes for the batch runner, each given one input at a time, so that
when one dies (a signal, the memory killer, a crash in native code) the runner
knows the input it took with it: that input fails, its hidden files are removed,
a fresh worker takes the next input, and the rest of the run is as it would be.

Workers are forked, so that they start at once with everything this process has
imported, and take the work itself with them; only inputs and reports cross the
pipe between them. This process runs no thread, so that none is ever forked."""

from __future__ import annotations

import contextlib
import multiprocessing
import os
import signal
from collections.abc import Callable, Iterable, Iterator
from multiprocessing.connection import Connection, wait
from typing import Any

from ravir_tools import atomic_file

# A worker keeps the parts of every path it parsed for its life, so that fresh
# workers take over now and then: a long run's memory stays flat.
LIFETIME = 500


class _Stopped(BaseException):
    """Raised in a worker told to stop while it works, so that the file it writes is
    left behind whole or not at all."""


_working = False  # whether this worker is inside a piece of work


@contextlib.contextmanager
def stoppable() -> Iterator[None]:
    """A piece of work that a stop (SIGTERM) ends cleanly: its hidden files removed
    as the exception unwinds, then the worker gone at once."""
    global _working
    _working = True
    try:
        yield
    except _Stopped:
        os._exit(128 + signal.SIGTERM)
    finally:
        _working = False


def _stop_worker(signum, frame) -> None:
    # A second SIGTERM must not cut short the removal of the hidden files that this one started.
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
    if _working:
        raise _Stopped
    os._exit(128 + signum)


def _serve(connection: Connection, task: Callable[[Any], Any], inherited: list[Connection]) -> None:
    # The parent's ends of the pipes, this worker's and those of the workers forked
    # before it, came along with the fork: closed, so that a parent that dies (even
    # killed) closes them all, and the worker sees its pipe end and goes.
    for end in inherited:
        end.close()
    # Ctrl-C reaches the whole process group: the parent decides, and stops the
    # workers with SIGTERM.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, _stop_worker)
    # Each hidden file is named to the parent before it is made, so that the parent
    # can remove it should this process die before it does; and so is the moment
    # files start to replace others.
    atomic_file.announce_to(lambda kind, path: connection.send((kind, path)))
    try:
        while (item := connection.recv()) is not None:
            connection.send(("done", task(item)))
    except (EOFError, OSError):
        pass  # the parent is gone


class _Worker:
    def __init__(self, context, task: Callable[[Any], Any], others: list[_Worker]):
        self.connection, child = context.Pipe()
        inherited = [self.connection, *(worker.connection for worker in others)]
        self.process = context.Process(target=_serve, args=(child, task, inherited), daemon=True)
        self.process.start()
        child.close()
        self.given: tuple[int, Any] | None = None  # the input it works on, and its place in the run
        self.hidden: list[str] = []  # the hidden files it made for that input
        self.placing = False  # whether files of that input have begun to take their places
        self.taken = 0

    def give(self, position: int, item) -> None:
        self.given, self.hidden, self.placing = (position, item), [], False
        self.taken += 1
        # A worker that died idle since it was last looked at shows as ended while
        # holding the input: the pool's wait sees its pipe closed.
        with contextlib.suppress(OSError):
            self.connection.send(item)

    def retire(self) -> None:
        with contextlib.suppress(OSError):
            self.connection.send(None)
        self.process.join()
        self.connection.close()

    def remove_hidden(self) -> None:
        for path in self.hidden:
            with contextlib.suppress(OSError):
                os.unlink(path)
        self.hidden = []


def ending(exitcode: int | None) -> str:
    """How a process ended, as its exit code tells."""
    if exitcode is None or exitcode >= 0:
        return f"exited with status {exitcode}"
    number = -exitcode
    if number == signal.SIGKILL:
        return f"killed by signal {number}, often the system out of memory"
    return f"killed by signal {number} ({signal.strsignal(number)})"


class Pool:
    """Runs `task(item)` on each input in `jobs` workers. `died(item, how, placing)`
    makes the result of an input whose worker ended while it worked on it, `placing`
    whether its files had begun to replace others."""

    def __init__(self, task: Callable[[Any], Any], jobs: int, died: Callable[[Any, str, bool], Any]):
        self.task, self.jobs, self.died = task, jobs, died
        self.context = multiprocessing.get_context("fork")
        self.workers: list[_Worker] = []

    def results(self, inputs: Iterable, window: int) -> Iterator[tuple[Any, Any]]:
        """Each input with its result, in input order, each as soon as those before
        it are done; at most `window` inputs are taken ahead of the one shown."""
        pending = enumerate(inputs)
        waiting: list[tuple[int, Any]] = []
        done: dict[int, tuple[Any, Any]] = {}
        shown = taken = 0
        exhausted = False
        try:
            while True:
                while shown in done:
                    yield done.pop(shown)
                    shown += 1
                while not exhausted and taken < shown + window:
                    entry = next(pending, None)
                    if entry is None:
                        exhausted = True
                    else:
                        waiting.append(entry)
                        taken += 1
                if exhausted and shown == taken:
                    break
                self.hand_out(waiting)
                done.update(self.answers())
        except BaseException:
            self.stop()
            raise
        for worker in self.workers:
            worker.retire()

    def hand_out(self, waiting: list[tuple[int, Any]]) -> None:
        # Those that served their time go, and those that died while idle, which lost nothing.
        for worker in [w for w in self.workers if w.given is None and (w.taken >= LIFETIME or
                                                                         not w.process.is_alive())]:
            worker.retire()
            self.workers.remove(worker)
        idle = [worker for worker in self.workers if worker.given is None]
        while waiting and len(self.workers) < self.jobs:
            idle.append(_Worker(self.context, self.task, self.workers))
            self.workers.append(idle[-1])
        for worker in idle:
            if not waiting:
                break
            worker.give(*waiting.pop(0))

    def answers(self) -> Iterator[tuple[int, tuple[Any, Any]]]:
        """The results that come in next, waiting for at least one."""
        busy = {worker.connection: worker for worker in self.workers if worker.given is not None}
        for connection in wait(list(busy)):
            worker = busy[connection]
            try:
                while connection.poll():
                    kind, value = connection.recv()
                    if kind == "hidden":
                        worker.hidden.append(value)
                        continue
                    if kind == "placing":
                        worker.placing = True
                        continue
                    position, item = worker.given
                    worker.given = None
                    yield position, (item, value)
                    break
            except (EOFError, OSError):
                yield self.lost(worker)

    def lost(self, worker: _Worker) -> tuple[int, tuple[Any, Any]]:
        """The result of the input whose worker died, which is gone from the pool."""
        worker.process.join()
        worker.connection.close()
        worker.remove_hidden()
        self.workers.remove(worker)
        position, item = worker.given
        return position, (item, self.died(item, ending(worker.process.exitcode), worker.placing))

    def stop(self) -> None:
        """Ends every worker where it is, each removing its hidden files as it goes
        (and what a worker that must be killed leaves, after it)."""
        for worker in self.workers:
            worker.process.terminate()
        for worker in self.workers:
            worker.process.join(5)
            if worker.process.is_alive():
                worker.process.kill()
                worker.process.join()
            worker.remove_hidden()
            worker.connection.close()
        self.workers = []
