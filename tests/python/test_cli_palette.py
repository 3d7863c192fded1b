import json

import pytest
from cli_run import one_error, ravir
from orv_bytes import ramp_palette
from PIL import Image


def test_json_lists_every_color(project):
    colors = [(10, 20, 30, 40), (1, 2, 3, 255)]
    path = project.palette("two.pal", colors=colors)
    printed = json.loads(ravir("palette", path, "--json").stdout)
    assert printed["colors"] == [list(c) for c in colors] + [[0, 0, 0, 255]] * 254  # padded as loaded


def test_the_swatch_shows_each_color_in_its_cell(project, tmp_path):
    ravir("palette", project.root / "pal" / "a.pal", "-o", tmp_path / "swatch.png")
    with Image.open(tmp_path / "swatch.png") as swatch:
        assert swatch.size == (16 * 60, 16 * 34)
        # The bottom-right corner of each cell is clear of its label.
        for index in (0, 37, 255):
            x, y = (index % 16) * 60 + 58, (index // 16) * 34 + 32
            assert swatch.getpixel((x, y)) == ramp_palette()[index]


@pytest.mark.parametrize("name, make, words", [
    ("none.pal", None, ["no such file"]),
    ("zero.pal", dict(colors=[], count=0), ["Invalid color count: 0"]),
    ("big.pal", dict(colors=[], count=300), ["Invalid color count: 300"]),
])
def test_an_unreadable_palette_is_one_line(project, name, make, words):
    if make is not None:
        project.palette(name, **make)
    one_error(ravir("palette", project.root / "pal" / name, "--json", ok=False), name, *words)


def test_asks_for_an_output(project):
    result = ravir("palette", project.root / "pal" / "a.pal", ok=False)
    assert result.returncode == 2 and "-o" in result.stderr
