"""Sequences that would read or write storage that is gone if an object outlived
what it refers to, or if rendering trusted the counts of an edited tree. Each
checks the behaviour at the interface; `make check` runs them under
AddressSanitizer, which also fails on any such touch that the checks cannot see."""

import gc

import pytest

import ravir

from tests.support.orv_bytes import Frame, animation_bytes

WIDE = [Frame(width=6, rows=[[(0, [1, 2]), (1, [3])], [(2, [4])], []]) for _ in range(3)]
NARROW = [Frame(width=2, rows=[[(0, [9])]])]
# A value field and a list of each element class.
FIELDS = {"OrvFrame": ("width", "pixel_sets"), "OrvPixelSet": ("block_count", "blocks"),
          "OrvPixelBlock": ("offset", "colors")}


def every_element(data):
    frames = data.frames
    rows = [row for frame in frames for row in frame.pixel_sets]
    return frames + rows + [block for row in rows for block in row.blocks]


def content(data):
    return [(f.width, [[(b.offset, b.colors) for b in r.blocks] for r in f.pixel_sets]) for f in data.frames]


def loaded(path):
    """A file object and its tree, kept together."""
    f = ravir.OrvF()
    return f, f.load(str(path))


@pytest.mark.parametrize("first, second", [(WIDE, NARROW), (NARROW, WIDE)], ids=["shrinking", "growing"])
def test_a_reload_that_resizes_the_tree_makes_every_element_stale(project, first, second):
    f, d = loaded(project.animation(first, name="first.orv"))
    taken = every_element(d)
    second_path = project.animation(second, name="second.orv")
    _, reference = loaded(second_path)
    f.load(str(second_path))
    for element in taken:
        value, container = FIELDS[type(element).__name__]
        with pytest.raises(ReferenceError):
            getattr(element, value)
        with pytest.raises(ReferenceError):
            getattr(element, container)
        with pytest.raises(ReferenceError):
            setattr(element, value, 1)
    assert content(d) == content(reference)


@pytest.mark.parametrize("failure", ["missing", "refused count"])
def test_a_load_that_does_not_refill_the_tree_keeps_its_elements(project, sprite, failure):
    f, d = loaded(sprite)
    taken = every_element(d)
    path = project.root / "anim" / "other.orv"
    if failure == "missing":
        assert f.load(str(path)) is None
    else:
        path.write_bytes(animation_bytes([], frame_count=0xFFFFFFFF))
        with pytest.raises(ValueError):
            f.load(str(path))
    for element in taken:
        field = FIELDS[type(element).__name__][0]
        setattr(element, field, getattr(element, field))
    assert [frame.width for frame in taken[:2]] == [4, 3]


def test_a_reload_leaves_the_elements_of_other_file_objects_alive(sprite, project):
    f, d = loaded(sprite)
    g, e = loaded(sprite)
    block = e.frames[0].pixel_sets[2].blocks[0]
    f.load(str(project.animation(NARROW, name="narrow.orv")))
    assert block.colors == [1, 2, 3, 4]
    block.offset = 3
    assert g.data().frames[0].pixel_sets[2].blocks[0].offset == 3


def test_rendered_frames_outlive_their_renderer_tree_and_file_object(sprite):
    f, d = loaded(sprite)
    cached = f.get_frame_buffer()
    renderer = ravir.OrvFrameBuffer(d)
    rendered = renderer.get_buffer()
    expected = [image.pixels for image in cached]
    assert expected == [image.pixels for image in rendered]
    del f, d
    gc.collect()
    assert [image.pixels for image in renderer.get_buffer()] == expected
    del renderer
    gc.collect()
    assert [image.pixels for image in cached] == [image.pixels for image in rendered] == expected


def test_a_palette_taken_from_the_tree_outlives_it(sprite):
    f, d = loaded(sprite)
    palette = d.palette
    colors = [(c.r, c.g, c.b, c.a) for c in palette.colors()]
    del f, d
    gc.collect()
    assert [(c.r, c.g, c.b, c.a) for c in palette.colors()] == colors
    assert palette.get_color(255).g == colors[255][1]


# Edits through the elements that leave the counts disagreeing with the lists.
def wider_and_taller(d):
    d.frames[0].width = 65535
    d.frames[0].height = 300


def longer_run(d):
    d.frames[0].pixel_sets[0].blocks[0].color_count = 255


def shadow_made_normal(d):
    d.frames[1].is_shadow = 0


def more_frames(d):
    d.info.frame_count = 5


@pytest.mark.parametrize("edit", [wider_and_taller, longer_run, shadow_made_normal, more_frames])
def test_a_tree_with_disagreeing_counts_renders_within_its_images(sprite, edit):
    f, d = loaded(sprite)
    edit(d)
    images = ravir.OrvFrameBuffer(d).get_buffer()
    assert [(image.width, image.height) for image in images] == [(fr.width, fr.height) for fr in d.frames]
    assert [len(image.pixels) for image in images] == [image.width * image.height * 4 for image in images]


# Runs whose pixel count promises more palette indices than they hold.
@pytest.mark.parametrize("edit", [longer_run, shadow_made_normal])
def test_a_tree_whose_runs_lack_indices_is_not_saved(sprite, tmp_path, edit):
    f, d = loaded(sprite)
    edit(d)
    with pytest.raises(ValueError, match="^Cannot save: frame "):
        f.save(str(tmp_path / "x.orv"), str(tmp_path), str(tmp_path / "a.pal"))
    assert not (tmp_path / "x.orv").exists()
