import gc
import random
import struct

import pytest

import ravir

from tests.support.orv_bytes import Frame, animation_bytes, ramp_palette

CLEAR = (0, 0, 0, 0)
SHADOW = (0, 0, 0, 255)


def entry(index):
    return ramp_palette()[index]


def pixel_rows(image):
    data, width = image.pixels, image.width
    pixels = [tuple(data[i:i + 4]) for i in range(0, len(data), 4)]
    return [pixels[y * width:(y + 1) * width] for y in range(image.height)]


def tree(data):
    """Everything a loaded tree holds, as plain values."""
    return (data.info.speed, data.info.frame_count, data.has_background,
            [(f.frame_size, f.height, f.is_shadow, f.width, f.y_offset, f.x_offset, f.unk1, f.unk2,
              [(r.block_count, [(b.offset, b.color_count, b.colors) for b in r.blocks])
               for r in f.pixel_sets]) for f in data.frames])


def test_fresh_file_object_is_empty():
    f = ravir.OrvF()
    assert f.get_frame_buffer() == []
    assert f.data().frames == [] and f.data().palette.colors() == []
    assert not f.data().has_background


def test_load_renders_every_frame(sprite):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    normal, shadow = f.get_frame_buffer()
    assert (normal.width, normal.height, normal.offset_x, normal.offset_y, normal.channels) == (4, 3, -2, 3, 4)
    assert pixel_rows(normal) == [
        [CLEAR, entry(5), entry(6), CLEAR],
        [CLEAR] * 4,
        [entry(1), entry(2), entry(3), entry(4)],
    ]
    assert pixel_rows(shadow) == [[SHADOW, SHADOW, CLEAR], [CLEAR, SHADOW, SHADOW]]
    assert d.palette.location() == "pal/a.pal"
    assert d.palette.location_size() == len("pal/a.pal") + 1


def test_keyword_arguments_and_defaults_make_the_same_call(sprite, project):
    plain = ravir.OrvF()
    named = ravir.OrvF()
    assert tree(plain.load(str(sprite))) == tree(named.load(file_name=str(sprite), color_profile=0, io_pal=""))
    other = project.palette("b.pal", colors=[(1, 2, 3, 4)])
    d = named.load(str(sprite), io_pal=str(other))
    assert (d.palette.get_color(5).r, d.palette.location()) == (0, str(other))
    # Paths are taken as os.PathLike too, wherever a file is named.
    by_path = ravir.OrvF()
    assert tree(by_path.load(sprite, io_pal=other)) == tree(d)
    by_path.save(project.root / "saved.orv", project.root, project.root / "pal" / "saved.pal")
    assert ravir.PalF().load(project.root / "pal" / "saved.pal") == 1
    with pytest.raises(TypeError):
        ravir.OrvF().save("a", "b")


def test_failed_open_returns_none_and_keeps_the_tree(sprite, tmp_path):
    f = ravir.OrvF()
    before = tree(f.load(str(sprite)))
    assert f.load(str(tmp_path / "none.orv")) is None
    assert tree(f.data()) == before
    assert len(f.get_frame_buffer()) == 2


def test_color_model_of_the_shared_palette_applies_to_the_next_load(sprite):
    f = ravir.OrvF()
    f.data().palette.color_model(1)
    f.load(str(sprite))
    color = f.data().palette.get_color(5)
    r, g, b, a = entry(5)
    assert (color.r, color.g, color.b, color.a) == (b, g, r, a)


def test_pixels_are_fresh_bytes_on_every_read(sprite):
    f = ravir.OrvF()
    f.load(str(sprite))
    image = f.get_frame_buffer()[0]
    first, second = image.pixels, image.pixels
    assert type(first) is bytes and first == second and first is not second
    assert len(first) == image.width * image.height * image.channels


def test_edits_reach_a_new_renderer_but_not_the_cache(sprite):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    cached = f.get_frame_buffer()[0].pixels
    d.frames[0].pixel_sets[0].blocks[0].offset = 0
    d.frames[0].width = 7
    assert f.get_frame_buffer()[0].pixels == cached
    fresh = ravir.OrvFrameBuffer(d).get_buffer()[0]
    assert fresh.width == 7
    assert pixel_rows(fresh)[0][:3] == [entry(5), entry(6), CLEAR]


def test_renderer_needs_a_tree():
    with pytest.raises(TypeError):
        ravir.OrvFrameBuffer(None)
    with pytest.raises(TypeError):
        ravir.OrvFrameBufferObject()


def test_renderer_reports_a_tree_without_palette_colors(sprite, capfd):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    capfd.readouterr()
    d.palette.colors([])
    assert ravir.OrvFrameBuffer(d).get_buffer() == []
    assert capfd.readouterr().err == "ERROR: No palette data available!\n"


def expected_tree(frames, speed):
    """What `tree` gives for a file of `frames` (rows of at most 255, so that heights
    after a shadow frame read whole)."""
    return (speed, len(frames), False,
            [(f.frame_size, len(f.rows), int(f.shadow), f.width, f.y_offset, f.x_offset, f.unk1, f.unk2,
              [(len(row), [(offset, pixels, []) if f.shadow else (offset, len(pixels), list(pixels))
                           for offset, pixels in row]) for row in f.rows]) for f in frames])


def large_frames(seed):
    """Frames of more than 128 KiB in all: rows from empty to the largest a row can be,
    runs of no pixels, shadow frames among them."""
    rng = random.Random(seed)
    frames = [Frame(width=300, rows=[[(255, bytes(range(255)))] * 255, [], [(0, b"")]], unk1=seed)]
    for n in range(40):
        shadow = n % 7 == 6
        rows = [[(rng.randrange(256), rng.randrange(256) if shadow else rng.randbytes(rng.randrange(40)))
                 for _ in range(rng.randrange(8))] for _ in range(rng.randrange(1, 120))]
        frames.append(Frame(width=rng.randrange(1, 400), rows=rows, shadow=shadow, x_offset=-n, y_offset=n))
    return frames


def test_large_files_read_as_written_also_into_the_storage_of_destroyed_file_objects(project):
    for seed in range(3):  # each load after the first reuses what the one before left
        frames = large_frames(seed)
        path = project.animation(frames, name=f"large{seed}.orv", speed=seed)
        assert path.stat().st_size > 128 << 10  # most rows far enough from the end for the fast path
        f = ravir.OrvF()
        assert tree(f.load(str(path))) == expected_tree(frames, seed)
        del f
        gc.collect()


def test_a_refused_load_into_a_new_file_object_leaves_it_empty(project):
    f = ravir.OrvF()
    f.load(str(project.animation(large_frames(0), name="large.orv")))
    del f
    gc.collect()
    liar = project.root / "anim" / "liar.orv"
    liar.write_bytes(animation_bytes([], frame_count=0xFFFFFFFF))
    g = ravir.OrvF()
    with pytest.raises(ValueError):
        g.load(str(liar))
    assert g.data().frames == [] and g.get_frame_buffer() == []


def test_frame_count_beyond_the_file_is_a_value_error(project):
    path = project.root / "anim" / "liar.orv"
    path.parent.mkdir(exist_ok=True)
    path.write_bytes(animation_bytes([], frame_count=0xFFFFFFFF))
    with pytest.raises(ValueError, match="^Frame count 4294967295 exceeds the size of the file$"):
        ravir.OrvF().load(str(path))


def test_edit_save_and_reload(sprite, project, capfd):
    f = ravir.OrvF()
    d = f.load(str(sprite), io_pal="")
    d.info.speed = 99
    d.frames[0].x_offset = -300
    d.frames[0].unk1 = 7
    d.frames[0].pixel_sets[2].blocks[0].offset = 0
    last = d.palette.get_color(255)
    d.palette.colors([last] + d.palette.colors()[1:])
    out = project.root / "mod"
    (out / "pal").mkdir(parents=True)
    (out / "anim").mkdir()
    f.save(str(out / "anim" / "x.orv"), str(out), str(out / "pal" / "new.pal"))
    assert capfd.readouterr().err == ""
    assert (d.frames[0].unk1, d.frames[0].unk2) == (0, 1)

    g = ravir.OrvF()
    again = g.load(str(out / "anim" / "x.orv"))
    assert again.palette.location() == "pal/new.pal"
    assert tree(again) == tree(d)
    assert g.get_frame_buffer()[0].pixels == ravir.OrvFrameBuffer(d).get_buffer()[0].pixels
    assert again.palette.get_color(0).r == last.r


def test_inconsistent_tree_is_refused_with_a_value_error(sprite, tmp_path):
    f = ravir.OrvF()
    d = f.load(str(sprite))
    d.info.frame_count = 3
    with pytest.raises(ValueError, match="^Cannot save: the frame count 3 exceeds the 2 frames held$"):
        f.save(str(tmp_path / "x.orv"), str(tmp_path), str(tmp_path / "a.pal"))
    assert not (tmp_path / "x.orv").exists()


def test_save_of_a_fresh_file_object(tmp_path):
    ravir.OrvF().save(str(tmp_path / "x.orv"), str(tmp_path), str(tmp_path / "a.pal"))
    assert (tmp_path / "x.orv").read_bytes() == struct.pack("<II", 0, 6) + b"a.pal\0" + struct.pack("<I", 0)
    assert (tmp_path / "a.pal").read_bytes() == bytes(4)
