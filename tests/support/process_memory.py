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
