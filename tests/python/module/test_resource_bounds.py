"""Resource bounds of OrvF.load on the worst files of at most 1 MiB we can build.

Each file is loaded in a subprocess of its own, which measures the load's time and
its own peak resident memory; the load must end within 10 s under 1.5 GiB, with
the outcome expected for that file. To print the figures, run it from the project's
folder: python -m tests.python.module.test_resource_bounds
"""

import json
import subprocess
import sys
from pathlib import Path

import pytest

from tests.support.orv_bytes import Frame, animation_bytes, palette_bytes, ramp_palette
from tests.support.process_memory import under_sanitizer


MiB = 1 << 20
MAX_FILE_BYTES = MiB
MAX_SECONDS = 10
MAX_PEAK_BYTES = 3 * 512 * MiB

# The child reports what happened as one line of JSON; any other exception, a crash
# or a kill shows as a missing line or a non-zero exit.
CHILD = """
import json, resource, sys, time
import ravir
file_name, io_pal = sys.argv[1], sys.argv[2]
start = time.perf_counter()
try:
    f = ravir.OrvF()
    outcome = "loaded" if f.load(file_name, io_pal=io_pal) is not None else "None"
except (ValueError, MemoryError, OSError) as error:
    outcome = type(error).__name__
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
print(json.dumps({"outcome": outcome, "seconds": seconds, "peak": peak}))
"""


def with_count(count, *, background=None):
    """A header claiming `count` frames, padded with zeros to `count` bytes: the
    largest count that a file of that size may claim."""
    head = animation_bytes([], frame_count=count, background=background)
    return head + bytes(count - len(head))


def filling(frame, *, shadow_first=False):
    """As many copies of `frame` as fit in 1 MiB. With `shadow_first`, the frames are
    shadow frames, so that every height keeps only its low 8 bits."""
    one = len(animation_bytes([frame])) - len(animation_bytes([]))
    count = (MAX_FILE_BYTES - len(animation_bytes([]))) // one
    return animation_bytes([frame] * count)


LONG_LOCATION = animation_bytes([], location=b"a" * (MAX_FILE_BYTES - 64), location_size=0xFFFFFFFF)

# name: (file bytes, whether the palette is given explicitly, expected outcome)
CASES = {
    "frame count 2^32-1": (animation_bytes([], frame_count=0xFFFFFFFF), True, "ValueError"),
    "frame count equal to the file size": (with_count(MAX_FILE_BYTES), True, "loaded"),
    "background frame past the file size": (with_count(MAX_FILE_BYTES, background=1), True, "ValueError"),
    "frames of 65535 x 32767": (filling(Frame(width=65535, rows=[[]] * 32767)), True, "loaded"),
    "frames of 1 GiB less 16 KiB": (filling(Frame(width=65535, rows=[[]] * 4096)), True, "loaded"),
    "rows of 65535 filling the limit": (filling(Frame(width=65535, rows=[[]])), True, "loaded"),
    "long runs of shadow blocks":
        (filling(Frame(width=65535, rows=[[(0, 255)] * 255] * 255, shadow=True)), True, "loaded"),
    "many shadow frames of 65535 x 255":
        (filling(Frame(width=65535, rows=[[(0, 255)]] * 255, shadow=True)), True, "loaded"),
    "runs without pixels": (filling(Frame(width=1, rows=[[(255, [])] * 255] * 2000)), True, "loaded"),
    "location size 2^32-1": (LONG_LOCATION, True, "None"),
    # The palette search then meets a path longer than the system allows: the file
    # system error it raises, as OSError, is the refusal.
    "location size 2^32-1, searched": (LONG_LOCATION, False, "OSError"),
}


def measure(tmp_path: Path, data: bytes, explicit_palette: bool) -> dict:
    assert len(data) <= MAX_FILE_BYTES
    anim = tmp_path / "anim" / "crafted.orv"
    anim.parent.mkdir(parents=True, exist_ok=True)
    anim.write_bytes(data)
    palette = tmp_path / "a.pal"
    palette.write_bytes(palette_bytes(ramp_palette()))
    io_pal = str(palette) if explicit_palette else ""
    run = subprocess.run([sys.executable, "-c", CHILD, str(anim), io_pal],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr[-2000:]
    return json.loads(run.stdout)


@pytest.mark.skipif(under_sanitizer(), reason="time and memory under AddressSanitizer say nothing")
@pytest.mark.parametrize("name", CASES)
def test_crafted_file_loads_within_bounds(tmp_path, name):
    data, explicit_palette, expected = CASES[name]
    result = measure(tmp_path, data, explicit_palette)
    assert result["outcome"] == expected
    assert result["seconds"] < MAX_SECONDS
    assert result["peak"] < MAX_PEAK_BYTES


if __name__ == "__main__":
    import tempfile

    print(f"{'file':40} {'bytes':>8} {'outcome':>12} {'seconds':>8} {'peak MiB':>9}")
    for name, (data, explicit_palette, _) in CASES.items():
        with tempfile.TemporaryDirectory() as scratch:
            result = measure(Path(scratch), data, explicit_palette)
        print(f"{name:40} {len(data):8} {result['outcome']:>12} {result['seconds']:8.2f} "
              f"{result['peak'] / MiB:9.0f}")
