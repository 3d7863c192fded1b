"""Memory of the running process, for the tests that bound or compare it."""

import os
from pathlib import Path


def resident_bytes() -> int:
    """The resident set size of this process now."""
    pages = int(Path("/proc/self/statm").read_text().split()[1])
    return pages * os.sysconf("SC_PAGE_SIZE")


def under_sanitizer() -> bool:
    """Whether AddressSanitizer is loaded: its shadow memory and quarantine make
    figures of resident memory meaningless."""
    return "libasan" in Path("/proc/self/maps").read_text()


def outside_sanitizer() -> dict[str, str]:
    """This process's environment without the runtimes the sanitizer run preloads: the
    programs the tests drive (a browser, image editors) are not built for them, and
    GIMP hangs with them loaded."""
    return {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
