import gc
import weakref

import pytest

import ravir

from tests.support.projects import SPRITE
from tests.support.orv_bytes import Frame
from tests.support.process_memory import resident_bytes, under_sanitizer

STALE = "no longer exists: its animation was reloaded or its OrvF was destroyed"


def elements(data):
    frame = data.frames[0]
    row = frame.pixel_sets[0]
    return {"OrvFrame": (frame, "width"), "OrvPixelSet": (row, "block_count"),
            "OrvPixelBlock": (row.blocks[0], "offset")}


def assert_stale(taken):
    for name, (element, field) in taken.items():
        with pytest.raises(ReferenceError, match=f"^{name} {STALE}$"):
            getattr(element, field)
        with pytest.raises(ReferenceError, match=f"^{name} {STALE}$"):
            setattr(element, field, 1)


def test_reaching_an_element_again_gives_the_same_object(sprite):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    assert d.frames[0] is d.frames[0]
    assert d.frames[0].pixel_sets[2] is d.frames[0].pixel_sets[2]
    assert d.frames[0].pixel_sets[0].blocks[0] is d.frames[0].pixel_sets[0].blocks[0]
    assert d.frames[0] is not d.frames[1]
    assert f.data() is d
    assert d.palette is d.palette
    assert d.info is d.info


def test_elements_write_through_to_the_tree(sprite):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    d.frames[0].pixel_sets[0].blocks[0].offset = 2
    d.frames[0].width = 7
    assert f.data().frames[0].width == 7
    assert f.data().frames[0].pixel_sets[0].blocks[0].offset == 2


def test_items_keep_what_they_were_reached_through_alive(sprite):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    alive = weakref.ref(d)
    block = d.frames[0].pixel_sets[0].blocks[0]
    info = d.info
    del d
    gc.collect()
    assert alive() is not None
    assert block.colors == [5, 6]
    del block
    gc.collect()
    assert alive() is not None  # still held by info
    assert info.speed == 7
    del info
    gc.collect()
    assert alive() is None


def test_a_reload_makes_earlier_elements_stale(sprite, project):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    taken = elements(d)
    other = project.animation([Frame(width=9, rows=[[(0, [1])]])], name="y.orv", speed=3)
    assert f.load(str(other)) is d
    assert_stale(taken)
    assert [fr.width for fr in d.frames] == [9]
    assert d.info.speed == 3
    assert d.frames[0].pixel_sets[0].blocks[0].colors == [1]


def test_destroying_the_file_object_makes_elements_stale(sprite):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    taken = elements(d)
    palette, info = d.palette, d.info
    del f
    gc.collect()
    assert_stale(taken)
    assert d.frames == []
    assert info.frame_count == 2 and d.info.speed == 7
    assert len(palette.colors()) == 256 and d.palette is palette


def test_an_unnamed_file_object_leaves_no_frames(sprite):
    d = ravir.OrvF().load(str(sprite))
    assert d.frames == []
    assert d.info.frame_count == 2


@pytest.mark.skipif(under_sanitizer(), reason="AddressSanitizer's quarantine holds freed memory")
def test_reloading_while_holding_the_tree_keeps_memory_flat(project):
    path = str(project.animation(SPRITE * 20))
    f = ravir.OrvF()
    d = f.load(path)

    def churn(times):
        for _ in range(times):
            f.load(path)
            blocks = [b for fr in d.frames for r in fr.pixel_sets for b in r.blocks]
            assert blocks and blocks[0].offset == 1

    churn(100)
    before = resident_bytes()
    churn(1000)
    assert resident_bytes() - before < 4 << 20
