import json

import pytest
from PIL import Image

from ravir_tools.palettes.registry import read_palette_file, write_palette_file

from tests.support.cli_run import one_error, ravir
from tests.support.orv_bytes import palette_bytes, ramp_palette


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


GPL = "GIMP Palette\nName: x\n#\n"
PALETTES = {
    "opaque": ramp_palette(),
    "one transparent entry": [c if i != 5 else (*c[:3], 0) for i, c in enumerate(ramp_palette(20))],
    "one shared fourth byte": [(i, i, 0, 0) for i in range(40)],
    "fourth bytes differ": [(i, 2 * i % 256, 255 - i, i % 3 * 100) for i in range(256)],
}
# What an RGB format keeps of the fourth bytes: .act one transparent entry among opaque ones.
KEPT_BY = {"act": ("opaque", "one transparent entry"), "jasc": ("opaque",)}
SUFFIX = {"pal": ".pal", "gpl": ".gpl", "act": ".act", "jasc": ".pal", "png-palette": ".png"}


@pytest.mark.parametrize("format", SUFFIX)
@pytest.mark.parametrize("name", PALETTES)
def test_each_format_reads_back_what_it_keeps(tmp_path, format, name):
    colors = PALETTES[name]
    path = tmp_path / f"out{SUFFIX[format]}"
    lost = write_palette_file(path, colors, format)
    back = read_palette_file(path)
    assert back.format == ("image" if format == "png-palette" else format)
    kept = name in KEPT_BY.get(format, PALETTES)
    assert back.colors[:len(colors)] == (colors if kept else [(*c[:3], 255) for c in colors])
    assert len(back.colors) == (256 if format == "pal" else len(colors))  # the game reads 256 of any palette
    assert (lost is None) == kept
    if format == "gpl":
        assert ("Channels: RGBA" in path.read_text()) == (name in ("one transparent entry", "fourth bytes differ"))


@pytest.mark.parametrize("name, content, format", [
    # 768 bytes read both as .act and as a game palette of 191 colors: the extension decides.
    ("x.act", palette_bytes(ramp_palette(191)), "act"),
    ("x.pal", palette_bytes(ramp_palette(191)), "pal"),
    ("x.bin", palette_bytes(ramp_palette(191)), "pal"),
    # Otherwise the content does, whatever the name.
    ("x.pal", GPL.encode() + b"1 2 3\n", "gpl"),
    ("x.gpl", b"\xef\xbb\xbfJASC-PAL\r\n0100\r\n1\r\n1 2 3\r\n", "jasc"),
    ("x.act", palette_bytes(ramp_palette(7)), "pal"),
    ("x.pal", bytes(768), "act"),
])
def test_a_palette_is_recognised_by_its_content_then_its_extension(tmp_path, name, content, format):
    path = tmp_path / name
    path.write_bytes(content)
    assert read_palette_file(path).format == format


def test_the_command_converts_and_warns_of_what_it_loses(project, tmp_path):
    source = project.palette("b.pal", colors=PALETTES["fourth bytes differ"])
    ravir("palette", source, "-o", tmp_path / "b.gpl")
    result = ravir("palette", tmp_path / "b.gpl", "-o", tmp_path / "b.txt", "--format", "jasc")
    assert result.stderr.count("warning") == 1 and "fourth byte" in result.stderr
    printed = json.loads(ravir("palette", tmp_path / "b.txt", "--json").stdout)
    assert printed["format"] == "jasc" and printed["colors"][7] == [7, 14, 248, 255]



@pytest.mark.parametrize("name, content, words", [
    ("big.gpl", GPL + "1 2 3\n" * 257, ["line 260", "more than 256 colors"]),
    ("word.gpl", GPL + "1 2 3\n1 x 3 name\n", ["line 5", "'x' is not a number"]),
    ("cut.act", bytes(700), ["700 bytes", "cut short"]),
    ("count.pal", "JASC-PAL\r\n0100\r\n3\r\n1 2 3\r\n4 5 6\r\n", ["line 3", "count is 3", "2 color lines"]),
    ("rgba.png", "RGBA", ["without a palette"]),
])
def test_a_bad_palette_file_is_one_line_and_nothing_is_written(tmp_path, name, content, words):
    path = tmp_path / name
    if content == "RGBA":
        Image.new("RGBA", (2, 2)).save(path)
    else:
        path.write_bytes(content if isinstance(content, bytes) else content.encode())
    out = tmp_path / "out.gpl"
    one_error(ravir("palette", path, "-o", out, ok=False), path, *words)
    assert not out.exists()
