"""Render, edit in an image editor, pack back: the animation comes back exactly,
changed only where it was painted."""

import json
import tempfile
import zlib
from pathlib import Path

import aseprite
import pytest
import ravir
from hypothesis import HealthCheck, given, settings, strategies as st
from PIL import Image

from ravir_tools.exchange import png_chunks

from tests.support import aseprite_bytes as ab
from tests.support.cli_run import one_error, problems, ravir as run
from tests.support.editors import gimp_set_index, imagemagick
from tests.support.projects import Project
from tests.support.orv_bytes import Frame

MAGIC_SPEED = 0x5A544146  # "FATZ": such a speed needs the background header
INT16 = st.integers(-32768, 32767)
BYTE = st.integers(0, 255)


def drawn(path: Path, palette: Path):
    """What an animation draws, read through the ravir module: its speed, background
    flag, palette location and, per frame, its size, offsets, shadow flag and the
    index at each drawn pixel (None in shadow frames). Runs are cut at the width."""
    f = ravir.OrvF()
    f.load(str(path), io_pal=str(palette))
    d = f.data()
    frames = []
    for frame in d.frames:
        pixels = {}
        for y, row in enumerate(frame.pixel_sets[:frame.height]):
            x = 0
            for block in row.blocks:
                x += block.offset
                if block.color_count == 0 or x >= frame.width:
                    continue
                values = [None] * block.color_count if frame.is_shadow else block.colors
                for value in values[:frame.width - x]:
                    pixels[x, y] = value
                    x += 1
        frames.append((frame.width, frame.height, frame.x_offset, frame.y_offset, bool(frame.is_shadow), pixels))
    return d.info.speed, d.has_background, d.palette.location(), frames


@st.composite
def frames(draw):
    shadow = draw(st.booleans())
    run = st.tuples(st.integers(0, 6) | st.just(255), st.integers(0, 6) if shadow else st.lists(BYTE, max_size=6))
    rows = draw(st.lists(st.lists(run, max_size=3), max_size=4))
    # Widths up to 8 with runs of up to 6 pixels after gaps: rows often run past the frame.
    return Frame(width=draw(st.integers(0, 8)), rows=rows, shadow=shadow, x_offset=draw(INT16),
                 y_offset=draw(INT16))


@st.composite
def animations(draw):
    """A palette that repeats a few colors over all 256 entries (sometimes with a
    fourth byte of 0 everywhere), and an animation drawn with it."""
    shades = draw(st.lists(st.tuples(BYTE, BYTE, BYTE, BYTE), min_size=1, max_size=4))
    palette = draw(st.lists(st.sampled_from(shades), min_size=256, max_size=256))
    if draw(st.booleans()):
        palette = [(r, g, b, 0) for r, g, b, _ in palette]
    animation = draw(st.lists(frames(), max_size=4))
    background = bool(animation) and draw(st.booleans())
    speed = draw(st.integers(0, 2**32 - 1))
    header = background or speed == MAGIC_SPEED or draw(st.booleans())
    return palette, animation, speed, (int(background) if header else None)


@settings(max_examples=12, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(animations())
def test_every_render_packs_back_to_what_the_animation_draws(generated):
    palette, animation, speed, background = generated
    with tempfile.TemporaryDirectory() as folder:
        project = Project(Path(folder))
        pal = project.palette(colors=palette)
        source = project.animation(animation, speed=speed, background=background)
        out = project.root / "out"
        run("render", source, "-o", out / "indexed", "--indexed", "--sheet", "--aseprite")
        run("render", source, "-o", out / "rgba", "--sheet", "--sheet-layout", "grid", "--padding", "0")
        expected = drawn(source, pal)
        for index, described in enumerate([out / "indexed" / "x.json", out / "indexed" / "x_sheet.json",
                                           out / "rgba" / "x.json", out / "indexed" / "x.aseprite",
                                           out / "rgba" / "x_sheet.json"]):
            packed = project.root / f"packed{index}.orv"
            # As the user gives it, and with everything the file holds given again.
            options = ["--palette", pal, "--root", project.root] if index not in (1, 4) else []
            run("pack", described, "-o", packed, *options)
            assert drawn(packed, pal) == expected, described
        document = aseprite.Sprite.open(out / "indexed" / "x.aseprite")
        assert (document.color_mode, len(document.frames)) == (aseprite.ColorMode.INDEXED, len(animation))


# Index 250 alone has its color; the others repeat eight colors, and no entry is opaque.
EDIT_PALETTE = [(i % 8 * 30, 90, 0, 0) for i in range(256)]
EDIT_PALETTE[250] = (1, 2, 3, 0)
EDIT_FRAMES = [Frame(width=5, rows=[[(0, [200, 201, 5, 130])], [(1, [130, 7])], []], x_offset=-3, y_offset=9),
               Frame(width=3, rows=[[(1, 2)]], shadow=True)]


@pytest.fixture
def rendered(tmp_path):
    project = Project(tmp_path)
    pal = project.palette(colors=EDIT_PALETTE)
    source = project.animation(EDIT_FRAMES, speed=12)
    run("render", source, "-o", tmp_path / "out", "--indexed", "--sheet")
    return source, pal, tmp_path / "out"


def frame_image(out: Path, route: str) -> tuple[Path, tuple[int, int]]:
    """The PNG holding frame 0 in `route`, and the frame's corner in it."""
    if route == "manifest":
        return out / json.loads((out / "x.json").read_text())["frames"][0]["image"], (0, 0)
    atlas = json.loads((out / "x_sheet.json").read_text())
    box = atlas["frames"][atlas["ravir"]["frames"][0]["name"]]["frame"]
    return out / atlas["meta"]["image"], (box["x"], box["y"])


@pytest.mark.parametrize("route, json_name", [("manifest", "x.json"), ("sheet", "x_sheet.json")])
@pytest.mark.parametrize("edit", ["index", "rgba"])
@pytest.mark.parametrize("pixel", [(1, 0), (4, 2)])  # a drawn pixel and a gap
def test_an_edited_pixel_packs_to_exactly_that_change(rendered, tmp_path, route, json_name, edit, pixel):
    source, pal, out = rendered
    path, (x, y) = frame_image(out, route)
    with Image.open(path) as image:
        image.load()
    if edit == "index":
        image.putpixel((x + pixel[0], y + pixel[1]), 250)
    else:
        image = image.convert("RGBA")
        image.putpixel((x + pixel[0], y + pixel[1]), (1, 2, 3, 255))
    image.save(path)  # Pillow keeps no text chunk
    result = run("pack", out / json_name, "-o", tmp_path / "edited.orv")
    assert result.stderr == ""  # 250 is the only entry of its color
    speed, background, location, expected = drawn(source, pal)
    expected[0][5][pixel] = 250
    assert drawn(tmp_path / "edited.orv", pal) == (speed, background, location, expected)


def test_a_repeated_color_painted_in_rgba_takes_the_first_entry_and_is_counted(rendered, tmp_path):
    source, pal, out = rendered
    with Image.open(out / "x_000.png") as image:
        image = image.convert("RGBA")
    image.putpixel((4, 1), (60, 90, 0, 255))  # entries 2, 10, 18, ...
    image.save(out / "x_000.png")
    result = run("pack", out / "x.json", "-o", tmp_path / "edited.orv")
    assert "1 changed pixels have colors that several palette entries share" in result.stderr
    expected = drawn(source, pal)[3]
    expected[0][5][4, 1] = 2
    assert drawn(tmp_path / "edited.orv", pal)[3] == expected


def test_a_frame_drawing_every_index_keeps_its_gaps_in_a_mask(tmp_path):
    project = Project(tmp_path)
    pal = project.palette(colors=EDIT_PALETTE)
    every_index = [(0, list(range(128))), (0, list(range(128, 256)))]
    source = project.animation([Frame(width=300, rows=[every_index, [(40, [3])]])])
    result = run("render", source, "-o", tmp_path / "out", "--indexed", "--sheet", "--aseprite")
    warnings = problems(result)
    assert len(warnings) == 3 and all("draw all 256 indices" in line or "draws all 256 indices" in line
                                      for line in warnings)
    assert all(name in result.stderr for name in ("x_000.mask.png", "x_sheet.mask.png", "'gap mask'"))
    for described in ("x.json", "x_sheet.json", "x.aseprite"):
        run("pack", tmp_path / "out" / described, "-o", tmp_path / "packed.orv")
        assert drawn(tmp_path / "packed.orv", pal) == drawn(source, pal)


def resized(path: Path, said: dict) -> None:
    """One column more, and the frame's own text saying `said`, as an editor that keeps it writes it."""
    with Image.open(path) as image:
        grown = Image.new("P", (image.width + 1, image.height), image.info["transparency"])
        grown.putpalette(image.getpalette())
        grown.paste(image)
        grown.save(path, pnginfo=png_chunks.png_info(said), transparency=image.info["transparency"])


def repaletted(path: Path) -> None:
    with Image.open(path) as image:
        image.putpalette(bytes(768))
        image.save(path)


def edited_json(path: Path, change) -> None:
    document = json.loads(path.read_text())
    change(document)
    path.write_text(json.dumps(document))


@pytest.mark.parametrize("culprit, spoil, words", [
    ("x_000.png", Path.unlink, ["no such file"]),
    # Read by color, since its palette is another: black is in no entry.
    ("x_000.png", repaletted, ["pixel (0, 0)", "#000000ff", "not in the palette", "its own palette is another"]),
    ("x.json", lambda p: edited_json(p, lambda d: d.update(version=2)), ["version 2"]),
    ("x.json", lambda p: p.write_text(p.read_text()[:-3]), ["not valid JSON"]),
    ("x.json", lambda p: edited_json(p, lambda d: d["frames"][1].update(offset_x=40000)), ["frame 1", "offset_x"]),
])
def test_bad_input_is_one_line_naming_the_file_and_writes_nothing(rendered, tmp_path, culprit, spoil, words):
    _, _, out = rendered
    spoil(out / culprit)
    result = run("pack", out / "x.json", "-o", tmp_path / "new.orv", ok=False)
    one_error(result, out / culprit, *words)
    assert not (tmp_path / "new.orv").exists()


# --- image editors -------------------------------------------------------------

# Opaque colors, repeated: the first nine black, the others eight colors in turn, but
# for 250, which is painted. Frame 0 draws indices 0 to 7 and 9, so that its gap index
# is 8, which GIMP moves to 0 by moving entries 0 to 7 one up: their colors stay.
EDITOR_PALETTE = [(0, 0, 0, 255) if i < 9 else (i % 8 * 30, 90, 0, 255) for i in range(256)]
EDITOR_PALETTE[250] = (255, 0, 255, 255)
EDITOR_FRAMES = [Frame(width=5, rows=[[(0, [0, 9, 2, 3])], [(1, [3, 7])], [(0, [1, 4, 5, 6])]], x_offset=-3,
                       y_offset=9),
                 Frame(width=3, rows=[[(1, 2)]], shadow=True)]
PAINT = ["-fill", "rgb(255,0,255)", "-draw"]


def magick(*options, to=""):
    """ImageMagick drawing a point of the painted color, writing `to` (a format prefix)."""
    return lambda path, x, y, home: imagemagick(path, *options, *PAINT, f"point {x},{y}", f"{to}{path}")


def pillow_index(path: Path, x: int, y: int, home=None) -> None:
    with Image.open(path) as image:
        image.load()
    image.putpixel((x, y), 250)
    image.save(path)


EDITORS = {"GIMP": lambda path, x, y, home: gimp_set_index(path, x, y, 250, home), "ImageMagick": magick(),
           "ImageMagick to PNG32": magick(to="PNG32:"), "Pillow": pillow_index}


@pytest.fixture
def editable(tmp_path):
    project = Project(tmp_path)
    return project.animation(EDITOR_FRAMES, speed=3), project.palette(colors=EDITOR_PALETTE)


def edited(source: Path, pal: Path, pixel: tuple[int, int]):
    """What `source` draws, with `pixel` of frame 0 drawn in 250."""
    speed, background, location, frames = drawn(source, pal)
    frames[0][5][pixel] = 250
    return speed, background, location, frames


def render_options(mode: str) -> list[str]:
    return ["--indexed"] if mode == "indexed" else []


@pytest.mark.parametrize("editor, mode, route, pixel", [
    ("GIMP", "indexed", "manifest", (1, 0)), ("GIMP", "indexed", "sheet", (4, 2)),
    ("ImageMagick", "indexed", "manifest", (4, 2)), ("ImageMagick", "indexed", "sheet", (1, 0)),
    ("ImageMagick", "rgba", "manifest", (1, 0)), ("ImageMagick", "rgba", "sheet", (4, 2)),
    ("ImageMagick to PNG32", "indexed", "manifest", (1, 0)), ("ImageMagick to PNG32", "rgba", "sheet", (4, 2)),
])
def test_a_pixel_set_in_an_image_editor_packs_to_exactly_that_change(editable, tmp_path, editor, mode, route, pixel):
    source, pal = editable
    out = tmp_path / "out"
    run("render", source, "-o", out, *render_options(mode), "--sheet")
    path, (x, y) = frame_image(out, route)
    EDITORS[editor](path, x + pixel[0], y + pixel[1], tmp_path / "home")
    result = run("pack", out / ("x.json" if route == "manifest" else "x_sheet.json"), "-o", tmp_path / "edited.orv")
    assert drawn(tmp_path / "edited.orv", pal) == edited(source, pal, pixel)
    assert ("not the game's (GIMP and ImageMagick rewrite palettes): read by color" in result.stderr) == (
        editor != "ImageMagick to PNG32")


@pytest.mark.parametrize("edit, size, offsets, painted", [
    (magick("-background", "none", "-gravity", "northwest", "-extent", "7x4"), (7, 4), (-3, 9), True),
    (lambda path, *_: imagemagick(path, "-crop", "3x2+0+0", "+repage", path), (3, 2), (-3, 9), False),
    # Pillow drops the PNG's text: one that keeps it gives the offsets.
    (lambda path, *_: resized(path, {"offset_x": 5, "offset_y": -6}), (6, 3), (5, -6), False),
], ids=["enlarged, painted where it grew", "cut", "enlarged, keeping its text"])
def test_a_resized_canvas_takes_its_new_size_at_the_frames_corner(editable, tmp_path, edit, size, offsets, painted):
    source, pal = editable
    run("render", source, "-o", tmp_path / "out", "--indexed")
    edit(tmp_path / "out" / "x_000.png", 6, 3, None)
    result = run("pack", tmp_path / "out" / "x.json", "-o", tmp_path / "edited.orv")
    speed, background, location, frames = drawn(source, pal)
    kept = {(x, y): index for (x, y), index in frames[0][5].items() if x < size[0] and y < size[1]}
    frames[0] = (*size, *offsets, False, kept | ({(6, 3): 250} if painted else {}))
    assert drawn(tmp_path / "edited.orv", pal) == (speed, background, location, frames)
    assert f"its frame is taken at {size[0]}x{size[1]}" in result.stderr


@pytest.mark.parametrize("mode, edit, refused", [
    ("indexed", lambda path: imagemagick(path, *PAINT, "point 3,0", path), False),  # the top-left corner of (1, 0)
    ("rgba", lambda path: imagemagick(path, *PAINT, "point 5,2", path), False),  # its bottom-right corner
    ("indexed", lambda path: pillow_index(path, 5, 0), False),  # its top-right corner, keeping the palette
    ("indexed", lambda path: imagemagick(path, *PAINT, "point 3,0", "-fill", "rgb(60,90,0)", "-draw", "point 5,2",
                                         path), True),  # two edits of one block
])
def test_an_edit_at_any_pixel_of_a_scaled_block_packs_to_that_change(editable, tmp_path, mode, edit, refused):
    source, pal = editable
    out = tmp_path / "out"
    run("render", source, "-o", out, *render_options(mode), "--scale", 3)
    edit(out / "x_000.png")
    result = run("pack", out / "x.json", "-o", tmp_path / "edited.orv", ok=not refused)
    if not refused:
        assert drawn(tmp_path / "edited.orv", pal) == edited(source, pal, (1, 0))
    else:
        one_error(result, out / "x_000.png", "frame 0", "3x3 block at (3, 0)", "two different edits")
        assert not (tmp_path / "edited.orv").exists()


@pytest.mark.parametrize("edit", ["Pillow", "GIMP"])  # keeps the palette; rewrites it
def test_a_palette_swap_keeps_the_indices_and_stores_the_other_palette(editable, tmp_path, edit):
    source, pal = editable
    night = Project(tmp_path).palette("night.pal", colors=[(i, 0, 255 - i, 255) for i in range(256)])
    out = tmp_path / "out"
    run("render", source, "-o", out, "--indexed")
    EDITORS[edit](out / "x_000.png", 1, 0, tmp_path / "home")
    packed = tmp_path / "anim" / "night.orv"
    result = run("pack", out / "x.json", "-o", packed, "--palette", night)
    assert drawn(packed, night)[3] == edited(source, pal, (1, 0))[3]
    assert json.loads(run("info", "--json", packed).stdout)[0]["palette_found"] == str(night)
    assert "names its palette 'pal/night.pal', where x.json recorded 'pal/a.pal'" in result.stderr


# --- Aseprite ----------------------------------------------------------------------

GRAYS = [(i, i, i, 255) for i in range(256)]  # the darkest, which shadows show in, is 0
ASEPRITE_FRAMES = [EDIT_FRAMES[0], Frame(width=3, rows=[[(1, 2)]], shadow=True, x_offset=2, y_offset=-4),
                   Frame(width=0, rows=[[], []], x_offset=-7, y_offset=100),  # without pixels
                   Frame(width=6, rows=[[(0, [1] * 6)]] * 2, x_offset=-10, y_offset=-10)]  # the background


@pytest.fixture
def document(tmp_path):
    project = Project(tmp_path)
    pal = project.palette(colors=GRAYS)
    source = project.animation(ASEPRITE_FRAMES, speed=12, background=1)
    run("render", source, "-o", tmp_path / "out", "--aseprite")
    return source, pal, tmp_path / "out" / "x.aseprite"


def test_another_reader_sees_each_frame_on_its_layer_at_its_place(document):
    source, pal, path = document
    sprite = aseprite.Sprite.open(path)
    assert (sprite.color_mode, sprite.size, sprite.transparent_index) == (aseprite.ColorMode.INDEXED, (15, 22), 2)
    assert [tuple(color) for color in sprite.palette] == GRAYS
    assert [(layer.name, layer.visible) for layer in sprite.layers] == [
        ("background", True), ("shadows", True), ("frames", True)]
    assert [(tag.name, tag.from_frame, tag.to_frame) for tag in sprite.tags] == [
        ("frames", 0, 0), ("shadows", 1, 1), ("frames", 2, 2), ("background", 3, 3)]
    assert json.loads(sprite.user_data.text)["speed"] == 12
    layers = ["frames", "shadows", "frames", "background"]
    for frame, layer, (width, height, x, y, shadow, pixels) in zip(sprite.frames, layers, drawn(source, pal)[3]):
        assert frame.duration_ms == 12
        (cel,) = frame.cels
        # The canvas's corner lies at offsets (-10, -10); a frame without pixels gets one transparent pixel.
        assert (sprite.layers[cel.layer_index].name, cel.x, cel.y) == (layer, x + 10, y + 10)
        if not (width and height):
            width, height = 1, 1
        shown = bytes((0 if shadow else pixels[i, j]) if (i, j) in pixels else 2
                      for j in range(height) for i in range(width))
        assert (cel.pixels.width, cel.pixels.height, bytes(cel.pixels.data)) == (width, height, shown)


def recut(sprite, cel, box, painted):
    """The cel cut or grown to `box` (x, y, width, height from its place) with
    `painted` {(x, y): index} drawn, as Aseprite leaves a cel after an edit."""
    image = Image.new("L", box[2:], sprite.transparent_index)
    image.paste(Image.frombytes("L", (cel.pixels.width, cel.pixels.height), bytes(cel.pixels.data)), (-box[0], -box[1]))
    for (x, y), index in painted.items():
        image.putpixel((x - box[0], y - box[1]), index)
    cel.x, cel.y = cel.x + box[0], cel.y + box[1]
    cel.pixels = aseprite.Pixels(box[2], box[3], image.tobytes(), aseprite.ColorMode.INDEXED)


def moved(frame):
    width, height, x, y, shadow, pixels = frame
    return width, height, x + 3, y - 2, shadow, pixels


def grown(frame):
    width, height, x, y, shadow, pixels = frame
    return width + 2, height, x - 2, y, shadow, {(0, 0): 250} | {(i + 2, j): v for (i, j), v in pixels.items()}


@pytest.mark.parametrize("edit, expect", [
    (lambda sprite, cel: setattr(cel, "x", cel.x + 3) or setattr(cel, "y", cel.y - 2), moved),
    (lambda sprite, cel: recut(sprite, cel, (0, 0, 4, 2), {(0, 1): 250}),  # cut to what it draws
     lambda frame: (*frame[:5], frame[5] | {(0, 1): 250})),
    (lambda sprite, cel: recut(sprite, cel, (-2, 0, 7, 3), {(-2, 0): 250}), grown),  # painted beyond
    (lambda sprite, cel: sprite.frames[0]._cels.clear(), lambda frame: (0, 0, 0, 0, False, {})),  # erased whole
    (lambda sprite, cel: setattr(sprite, "user_data", None), lambda frame: frame),  # as Aseprite 1.2 saves it
], ids=["moved", "cut", "grown", "erased", "without the sprite's user data"])
def test_a_document_saved_after_an_edit_packs_to_that_edit(document, tmp_path, edit, expect):
    source, pal, path = document
    sprite = aseprite.Sprite.open(path)
    edit(sprite, sprite.frames[0].cels[0])
    sprite.save(path)  # with the chunks in its own order, a color profile among them
    result = run("pack", path, "-o", tmp_path / "edited.orv", *([] if sprite.user_data else ["--palette", pal]))
    speed, background, location, expected = drawn(source, pal)
    expected[0] = expect(expected[0])
    assert drawn(tmp_path / "edited.orv", pal) == (speed, background, location, expected)
    assert ("frame 0 has no cel" in result.stderr) == (expected[0][0] == 0)


def test_a_document_drawn_from_scratch_gives_the_cels_of_its_first_visible_layer(tmp_path):
    project = Project(tmp_path)
    pal = project.palette(colors=GRAYS)
    sprite = aseprite.Sprite(8, 8, aseprite.ColorMode.INDEXED, empty=True)
    sprite.palette.extend(aseprite.Color(*color) for color in GRAYS)
    sprite.transparent_index = 9
    sketch, body = sprite.add_layer("sketch"), sprite.add_layer("body")
    sketch.visible = False
    for duration in (50, 120, 50):
        sprite.add_frame(duration)
    indexed = aseprite.ColorMode.INDEXED
    sprite.frames[0].set_cel(sketch, aseprite.Pixels(1, 1, b"\1", indexed))
    sprite.frames[0].set_cel(body, aseprite.Pixels(2, 2, bytes([9, 4, 5, 9]), indexed), x=-3, y=4)
    sprite.frames[2].set_cel(body, aseprite.Pixels(3, 1, bytes([6, 9, 6]), indexed), x=7, y=-1)
    sprite.save(tmp_path / "drawn.aseprite")
    result = run("pack", tmp_path / "drawn.aseprite", "-o", tmp_path / "anim" / "drawn.orv", "--palette", pal,
                 "--root", tmp_path)
    assert result.stderr == ""
    assert drawn(tmp_path / "anim" / "drawn.orv", pal) == (50, False, str(pal), [
        (2, 2, -3, 4, False, {(1, 0): 4, (0, 1): 5}), (0, 0, 0, 0, False, {}),
        (3, 1, 7, -1, False, {(0, 0): 6, (2, 0): 6})])


def first_frame(*chunks):
    return ab.frame([ab.palette([(0, 0, 0, 255)] * 4), *chunks])


GOOD_CEL = ab.cel(0, 0, 0, 2, 2, bytes(4))


def rearranged(change):
    def spoil(path):
        sprite = aseprite.Sprite.open(path)
        change(sprite)
        sprite.save(path)
    return spoil


def drawn_on(layer):
    def change(sprite):
        if layer not in sprite.layers:
            sprite.add_layer(layer)
        sprite.frames[0].set_cel(sprite.layers[layer], aseprite.Pixels(1, 1, b"\7", aseprite.ColorMode.INDEXED))
    return rearranged(change)


@pytest.mark.parametrize("spoil, words", [
    (lambda p: p.write_bytes(ab.document([first_frame(ab.layer("a"), GOOD_CEL)] * 2)[:-3]),
     ["frame 1", "are left in the file"]),
    (lambda p: p.write_bytes(ab.document([first_frame(ab.layer("a"), ab.chunk(0x2005, bytes(20), size=90))])),
     ["frame 0", "runs past the end of the frame"]),
    (lambda p: p.write_bytes(ab.document([first_frame(ab.layer("a")), ab.frame(
        [ab.cel(0, 0, 0, 3, 2, b"", stream=zlib.compress(bytes(5)))])])), ["frame 1", "exactly 3x2 pixels"]),
    (lambda p: p.write_bytes(ab.document([ab.frame([ab.palette([(0, 0, 0, 255)] * 257)])])),
     ["frame 0", "257 colors"]),
    (lambda p: p.write_bytes(ab.document([first_frame(ab.layer("a"), GOOD_CEL)], depth=32)),
     ["RGB documents are not supported"]),
    (lambda p: p.write_bytes(ab.document([first_frame(ab.layer("tiles", kind=2))])), ["frame 0", "tilemap"]),
    (drawn_on("sketch"), ["frame 0", "the layer 'sketch', which is none of ravir's"]),
    (drawn_on("shadows"), ["frame 0", "'shadows' and 'frames', but a frame is one cel"]),
    (rearranged(lambda sprite: sprite.frames[0]._cels[2].__setattr__("layer_index", 0)),  # dragged to that layer
     ["frame 0", "background frame, which only the last frame may have"]),
])
def test_a_bad_document_is_one_line_naming_it_and_the_frame_and_writes_nothing(document, tmp_path, spoil, words):
    _, pal, path = document
    spoil(path)
    result = run("pack", path, "-o", tmp_path / "new.orv", "--palette", pal, ok=False)
    one_error(result, path, *words)
    assert not (tmp_path / "new.orv").exists()
