"""Timing with repeats, and the physical floors that the operations are held against.

The machine is shared and noisy, so every figure is the minimum (and the median)
over repeats; the floors are measured in the same run on the same byte counts.
"""

import ctypes
import gc
import os
import statistics
import time
from dataclasses import dataclass


@dataclass
class Timing:
    min: float  # seconds
    median: float
    repeats: int

    def scaled(self, factor):
        """The time of `factor` calls, from the time of one."""
        return Timing(self.min * factor, self.median * factor, self.repeats)


def _time_once(call):
    """The seconds of one `call()`. Its result is dropped after the clock stops, and the
    collector is kept out of the timed part, as it would otherwise bill one repeat for
    the garbage of others."""
    gc.collect()
    gc.disable()
    start = time.perf_counter()
    result = call()
    elapsed = time.perf_counter() - start
    del result
    gc.enable()
    return elapsed


def measure(call, setup=None, min_repeats=5, max_repeats=200, budget=1.0):
    """Times `call()` at least `min_repeats` times and until `budget` seconds are spent.

    `setup()`, when given, runs untimed before each repeat.
    """
    samples = []
    while len(samples) < min_repeats or (sum(samples) < budget and len(samples) < max_repeats):
        if setup is not None:
            setup()
        samples.append(_time_once(call))
    return Timing(min(samples), statistics.median(samples), len(samples))


def measure_alternately(calls, min_repeats=5, max_repeats=200, budget=1.0):
    """Times each of `calls` as `measure` does, one after the other in every round, so
    that a burst of other work on the machine weighs on all of them alike."""
    samples = [[] for _ in calls]
    while len(samples[0]) < min_repeats or (sum(map(sum, samples)) < budget and len(samples[0]) < max_repeats):
        for call, taken in zip(calls, samples):
            taken.append(_time_once(call))
    return [Timing(min(taken), statistics.median(taken), len(taken)) for taken in samples]


def _buffer(size):
    """A buffer of `size` bytes whose pages are already mapped in, and its address."""
    data = bytearray(b"\1" * size)
    return data, ctypes.addressof((ctypes.c_char * size).from_buffer(data))


def memset_floor(size, **repeat):
    """Writing `size` bytes once."""
    data, address = _buffer(size)
    return measure(lambda: ctypes.memset(address, 0, size), **repeat)


def memcpy_floor(size, **repeat):
    """Copying `size` bytes once."""
    source, src = _buffer(size)
    target, dst = _buffer(size)
    return measure(lambda: ctypes.memmove(dst, src, size), **repeat)


def read_floor(paths, **repeat):
    """Reading the files' bytes into memory, one call per file."""
    def read_all():
        for path in paths:
            with open(path, "rb", buffering=0) as f:
                f.read()
    return measure(read_all, **repeat)


def write_floor(path, size, **repeat):
    """Writing `size` bytes as a new file (emptying one that is there)."""
    data = os.urandom(size)
    def write():
        with open(path, "wb", buffering=0) as f:
            f.write(data)
    return measure(write, **repeat)
