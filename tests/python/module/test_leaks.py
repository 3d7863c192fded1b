"""Resident memory stays flat while one animation is loaded, rendered and saved a
thousand times: whatever a cycle allocates, the next cycles must reuse."""

import pytest

import ravir

from tests.support.orv_bytes import Frame
from tests.support.process_memory import resident_bytes, under_sanitizer

MiB = 1 << 20
WARM_UP = 100
CYCLES = 1000
# One cycle renders three 64 KiB images and reads a tree of some 20 KiB: keeping any of
# it would grow memory by tens of MiB over the cycles, far above this.
MAX_GROWTH = 4 * MiB

# A 128 x 128 frame with a run of 128 pixels in every row, and a shadow frame.
FRAMES = [
    Frame(width=128, rows=[[(0, [(x + y) % 256 for x in range(128)])] for y in range(128)]),
    Frame(width=128, rows=[[(y % 64, 64)] for y in range(128)], shadow=True),
]


@pytest.mark.skipif(under_sanitizer(), reason="AddressSanitizer's quarantine holds freed memory")
@pytest.mark.parametrize("reuse", [False, True], ids=["new OrvF per cycle", "one OrvF reloaded"])
def test_load_render_save_cycles_keep_memory_flat(project, reuse):
    source = project.animation(FRAMES)
    target = project.root / "out" / "y.orv"
    target.parent.mkdir()
    kept = ravir.OrvF()
    references = []

    def cycle():
        f = kept if reuse else ravir.OrvF()
        data = f.load(str(source))
        # References into the tree go stale at the next reload; hold the last one.
        references[:] = [data.frames[0].pixel_sets[5].blocks[0]]
        images = f.get_frame_buffer() + ravir.OrvFrameBuffer(data).get_buffer()
        assert sum(len(image.pixels) for image in images) == 4 * 128 * 128 * 4
        f.save(str(target), str(project.root), str(project.root / "out" / "y.pal"))

    for _ in range(WARM_UP):
        cycle()
    before = resident_bytes()
    for _ in range(CYCLES):
        cycle()
    assert resident_bytes() - before < MAX_GROWTH
