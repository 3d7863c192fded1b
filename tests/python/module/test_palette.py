import pytest

import ravir

from tests.support.orv_bytes import palette_bytes


def test_fresh_palette_is_empty():
    p = ravir.PalF()
    assert (p.colors(), p.location(), p.location_size(), p.color_model()) == ([], "", 0, 0)


@pytest.mark.parametrize("name, value", [("location", "pal/x.pal"), ("location", ""),
                                         ("location_size", 4294967295), ("location_size", 0),
                                         ("color_model", -7), ("color_model", 2147483647)])
def test_one_argument_sets_and_none_gets(name, value):
    p = ravir.PalF()
    assert getattr(p, name)(value) is None
    assert getattr(p, name)() == value


@pytest.mark.parametrize("name, value", [("location_size", -1), ("location_size", 4294967296),
                                         ("color_model", 2147483648), ("color_model", 1.0),
                                         ("location", 3), ("get_color", "0"), ("load", None)])
def test_arguments_that_do_not_convert_are_refused(name, value):
    with pytest.raises(TypeError):
        getattr(ravir.PalF(), name)(value)


def test_location_that_is_not_utf8_cannot_be_read_as_text():
    p = ravir.PalF()
    p.location(b"pal/\xff.pal")
    with pytest.raises(UnicodeDecodeError):
        p.location()


def test_get_color_out_of_bounds_reports_and_raises(capfd):
    p = ravir.PalF()
    with pytest.raises(IndexError, match="^Color index out of bounds$"):
        p.get_color(0)
    assert capfd.readouterr().err == "ERROR: Color index out of bounds: 0\n"


def test_load_reports_by_result(tmp_path, capfd):
    p = ravir.PalF()
    missing = str(tmp_path / "none.pal")
    assert p.load(missing) == -1
    assert capfd.readouterr().err == f"ERROR: Could not open palette file: {missing}\n"
    (tmp_path / "big.pal").write_bytes(palette_bytes([], count=300))
    assert p.load(str(tmp_path / "big.pal")) == -2
    assert capfd.readouterr().err == "ERROR: Invalid color count: 300\n"
    assert p.colors() == []
    (tmp_path / "one.pal").write_bytes(palette_bytes([(10, 20, 30, 40)]))
    assert p.load(str(tmp_path / "one.pal")) == 1
    colors = p.colors()
    assert len(colors) == 256
    assert [(c.r, c.g, c.b, c.a) for c in colors[:2]] == [(10, 20, 30, 40), (0, 0, 0, 255)]


def test_colors_are_independent_values(tmp_path):
    (tmp_path / "a.pal").write_bytes(palette_bytes([(1, 2, 3, 4), (5, 6, 7, 8)]))
    (tmp_path / "b.pal").write_bytes(palette_bytes([(9, 9, 9, 9)]))
    p = ravir.PalF()
    p.load(str(tmp_path / "a.pal"))
    kept = p.get_color(1)
    p.load(str(tmp_path / "b.pal"))
    assert (kept.r, kept.g, kept.b, kept.a) == (5, 6, 7, 8)
    p.colors([kept, kept])
    assert [(c.r, c.a) for c in p.colors()] == [(5, 8), (5, 8)]
    with pytest.raises(AttributeError):
        kept.r = 1


@pytest.mark.parametrize("bad", [[1, 2], ["red"], [None], 5])
def test_colors_takes_only_sequences_of_palette_colors(bad):
    p = ravir.PalF()
    with pytest.raises(TypeError):
        p.colors(bad)


def test_colors_accepts_any_sequence(tmp_path):
    (tmp_path / "a.pal").write_bytes(palette_bytes([(1, 2, 3, 4)]))
    p = ravir.PalF()
    p.load(str(tmp_path / "a.pal"))
    first = p.get_color(0)
    p.colors(c for c in (first, first, first))
    assert len(p.colors()) == 3
    p.colors(())
    assert p.colors() == []


def test_save_writes_the_color_model_and_rgba_records(tmp_path):
    (tmp_path / "a.pal").write_bytes(palette_bytes([(10, 20, 30, 40)]))
    p = ravir.PalF()
    p.color_model(1)
    p.load(str(tmp_path / "a.pal"))
    assert p.save(str(tmp_path / "b.pal")) is None
    saved = (tmp_path / "b.pal").read_bytes()
    assert saved[:8] == bytes([0, 1, 1, 0, 30, 20, 10, 40])
