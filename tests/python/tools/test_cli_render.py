import fcntl
import json
import os
import struct

import pytest
import ravir
from PIL import Image, ImageSequence

from ravir_tools.palettes.registry import write_palette_file

from tests.support.cli_run import one_error, pixels, problems, ravir as run, rgba
from tests.support.projects import SPRITE
from tests.support.orv_bytes import Frame, ramp_palette


def rendered(path, palette=""):
    f = ravir.OrvF()
    f.load(str(path), io_pal=str(palette))
    return f.get_frame_buffer()


def enlarged(frame, scale: int) -> bytes:
    image = Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels)
    return image.resize((frame.width * scale, frame.height * scale), Image.Resampling.NEAREST).tobytes()


@pytest.mark.parametrize("scale", [1, 3])
def test_every_frame_is_a_png_of_its_rendered_pixels(sprite, tmp_path, scale):
    run("render", sprite, "-o", tmp_path / "out", "--scale", scale)
    frames = rendered(sprite)
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == ["x.json", "x_000.png", "x_001.png"]
    for index, frame in enumerate(frames):
        assert rgba(tmp_path / "out" / f"x_{index:03d}.png") == enlarged(frame, scale)
    # Each says what it is: ravir's text, and grAb for other sprite tools.
    path = tmp_path / "out" / "x_000.png"
    with Image.open(path) as image:
        said = json.loads(image.info["ravir"])
    assert (said["frame"], said["offset_x"], said["offset_y"], said["shadow"]) == (0, -2, 3, False)
    assert struct.pack(">I4sii", 8, b"grAb", -2, 3) in path.read_bytes()


@pytest.mark.parametrize("layout", [[], ["--padding", "0"], ["--sheet-width", "8"], ["--sheet-layout", "grid"],
                                    ["--sheet-layout", "grid", "--columns", "1", "--padding", "3"]])
def test_the_sheet_atlas_locates_every_frame_as_texturepacker_does(project, sprite, tmp_path, layout):
    run("render", sprite, "-o", tmp_path, "--sheet", "--scale", 2, *layout)
    atlas = json.loads((tmp_path / "x_sheet.json").read_text())
    meta = atlas["meta"]
    assert (meta["image"], meta["scale"], meta["format"]) == ("x_sheet.png", "2", "RGBA8888")
    assert meta["frameTags"] == [{"name": "x", "from": 0, "to": 1, "direction": "forward", "color": "#000000ff"}]
    described = atlas["ravir"]
    assert (described["speed"], described["background"], described["render"]) == (7, False, "rgba")
    assert [(f["name"], f["offset_x"], f["offset_y"], f["shadow"]) for f in described["frames"]] == [
        ("x_000.png", -2, 3, False), ("x_001.png", 0, 0, True)]
    with Image.open(tmp_path / meta["image"]) as image:
        sheet = image.convert("RGBA")
    assert sheet.size == (meta["size"]["w"], meta["size"]["h"])
    for name, frame in zip(["x_000.png", "x_001.png"], rendered(sprite), strict=True):
        entry = atlas["frames"][name]
        box = entry["frame"]
        assert entry["sourceSize"] == {"w": box["w"], "h": box["h"]} and not entry["rotated"]
        assert sheet.crop((box["x"], box["y"], box["x"] + box["w"], box["y"] + box["h"])).tobytes() == \
            enlarged(frame, 2)


# Where each frame of the sprite lands on the preview canvas: frame 0 is 4x3 at offsets
# (-2, 3), frame 1 is 3x2 at (0, 0).
@pytest.mark.parametrize("flip, size, corners", [
    (False, (5, 6), [(0, 3), (2, 0)]),  # top-left corner at the offsets
    (True, (6, 5), [(2, 0), (0, 3)]),  # offsets are the origin's place inside the frame
])
@pytest.mark.parametrize("kind", ["apng", "gif"])
def test_previews_align_frames_by_their_offsets(sprite, tmp_path, kind, flip, size, corners):
    run("render", sprite, "-o", tmp_path, f"--{kind}", *(["--flip-offsets"] if flip else []))
    with Image.open(tmp_path / f"x.{kind}") as preview:
        assert preview.n_frames == 2
        canvases = []
        for index in range(2):
            preview.seek(index)
            canvases.append(preview.convert("RGBA"))
    for frame, corner, canvas in zip(rendered(sprite), corners, canvases):
        assert canvas.size == size
        expected = Image.new("RGBA", size)
        expected.paste(Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels), corner)
        # GIF has a single transparent color, so compare what is drawn, not the color of gaps.
        drawn = [p if p[3] else (0, 0, 0, 0) for p in pixels(canvas)]
        assert drawn == pixels(expected)


@pytest.mark.parametrize("options, duration", [([], 7), (["--duration", "250"], 250)])
def test_previews_and_the_atlas_last_as_the_speed_gives_unless_told(sprite, tmp_path, options, duration):
    run("render", sprite, "-o", tmp_path, "--apng", "--sheet", *options)
    with Image.open(tmp_path / "x.apng") as preview:
        assert [frame.info["duration"] for frame in ImageSequence.Iterator(preview)] == [duration] * 2
    atlas = json.loads((tmp_path / "x_sheet.json").read_text())
    assert [frame["duration"] for frame in atlas["frames"].values()] == [duration] * 2


@pytest.mark.parametrize("kind", ["apng", "gif"])
def test_a_background_is_drawn_behind_each_other_frame(project, tmp_path, kind):
    frames = [Frame(width=1, rows=[[(0, [9])]]), Frame(width=1, rows=[[(0, [3])]], x_offset=1),
              Frame(width=2, rows=[[(0, [4, 5])]])]
    run("render", project.animation(frames, background=1), "-o", tmp_path, f"--{kind}")
    ramp = ramp_palette()
    with Image.open(tmp_path / f"x.{kind}") as preview:
        shown = []
        for index in range(preview.n_frames):
            preview.seek(index)
            shown.append(pixels(preview))
    assert shown == [[ramp[9], ramp[5]], [ramp[4], ramp[3]]]


EVERY_INDEX = Frame(width=128, rows=[[(0, list(range(128)))], [(0, list(range(128, 256)))],
                                     [(0, list(range(1, 129)))], [(5, [7])]])  # index 0 is the least drawn


@pytest.mark.parametrize("colors, transparent", [
    (ramp_palette(), 0),  # every entry its own color: the least drawn shows transparent, and a warning says so
    ([(i // 2, 0, 0, 255) for i in range(256)], None),  # each color twice: entries 1, 3, ... are free
])
def test_a_gif_of_every_palette_entry_is_exact_where_it_can_be(project, tmp_path, colors, transparent):
    project.palette(colors=colors)
    source = project.animation([EVERY_INDEX])
    result = run("render", source, "-o", tmp_path, "--gif")
    (frame,) = rendered(source)
    expected = pixels(Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels))
    if transparent is not None:
        expected = [(0, 0, 0, 0) if color == colors[transparent] else color for color in expected]
        (warning,) = problems(result)
        assert "x.orv" in warning and f"entry {transparent}, the least used (1 pixels), shows transparent" in warning
    else:
        assert problems(result) == []
    with Image.open(tmp_path / "x.gif") as gif:
        assert [p if p[3] else (0, 0, 0, 0) for p in pixels(gif)] == expected


@pytest.mark.parametrize("options, frames, words", [
    (["--sheet", "--sheet-width", "3"], SPRITE, ["cannot lay out the sheet", "frame 0 is 4 pixels wide"]),
    (["--gif"], [Frame(width=1, rows=[[(0, [1])]], x_offset=-32768),
                 Frame(width=1, rows=[[(0, [1])]], x_offset=32767)], ["65536 x 1", "at most 65535"]),
])
def test_an_output_that_cannot_be_made_is_one_line_and_writes_nothing(project, tmp_path, options, frames, words):
    source = project.animation(frames)
    one_error(run("render", source, "-o", tmp_path / "out", *options, ok=False), source, *words)
    assert not list((tmp_path / "out").glob("x*"))


@pytest.mark.parametrize("options", [["--columns", "2"], ["--sheet-layout", "grid", "--sheet-width", "9"]])
def test_sheet_options_of_the_other_layout_are_refused(project, sprite, tmp_path, options):
    assert run("render", sprite, "-o", tmp_path, "--sheet", *options, ok=False).returncode == 2


@pytest.mark.parametrize("format, name", [
    ("pal", "b.pal"), ("gpl", "b.gpl"), ("act", "b.act"), ("jasc", "b_jasc.pal"), ("png-palette", "b.png")])
def test_another_palette_in_any_format_replaces_the_files_own(project, sprite, tmp_path, format, name):
    colors = [(200, 0, 0, 255)] * 5 + [(0, 0, 9, 255)]  # indices past these draw as the game pads them
    game = project.palette("b.pal", colors=colors)
    write_palette_file(tmp_path / name, colors, format)
    run("render", sprite, "-o", tmp_path / "out", "--palette", tmp_path / name)
    assert rgba(tmp_path / "out" / "x_000.png") == rendered(sprite, game)[0].pixels
    assert rgba(tmp_path / "out" / "x_000.png")[4:12] == bytes((0, 0, 9, 255, 0, 0, 0, 255))  # indices 5, 6


def test_batch_writes_what_it_can_and_fails_for_the_rest(project, sprite, tmp_path):
    lost = project.animation(SPRITE, name="sub/lost.orv", location="pal/none.pal")
    result = run("render", project.root / "anim", "-o", tmp_path / "out", ok=False)
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == ["x.json", "x_000.png", "x_001.png"]
    one_error(result, lost, "pal/none.pal", "not found", "--palette")


@pytest.mark.parametrize("make_palette, words", [
    (lambda p: p.root / "none.pal", ["none.pal", "no such file"]),
    (lambda p: p.palette("zero.pal", colors=[], count=0), ["zero.pal", "Invalid color count: 0"]),
])
def test_an_unreadable_replacement_palette_is_one_line(project, sprite, tmp_path, make_palette, words):
    result = run("render", sprite, "-o", tmp_path / "out", "--palette", make_palette(project), ok=False)
    one_error(result, *words)
    assert not (tmp_path / "out").exists()


def test_a_missing_animation_is_one_line(tmp_path):
    one_error(run("render", tmp_path / "gone.orv", "-o", tmp_path, ok=False), "gone.orv", "no such file")


def test_a_frame_too_large_to_render_is_one_line(project, tmp_path):
    huge = project.animation([Frame(width=65535, rows=[[]] * 32767), Frame(width=1, rows=[[(0, [1])]])])
    one_error(run("render", huge, "-o", tmp_path / "out", ok=False), huge, "frame 0 is 65535x32767")
    assert not list((tmp_path / "out").glob("*"))


def test_a_second_render_into_a_folder_in_use_says_which_run_holds_it(sprite, tmp_path):
    out = tmp_path / "out"
    out.mkdir()
    (out / ".ravir-lock").write_text("ravir render game/anim, process 4242, since 10:00:00\n")
    holder = os.open(out, os.O_RDONLY | os.O_DIRECTORY)
    try:
        fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
        one_error(run("render", sprite, "-o", out, ok=False), out, "another run", "process 4242")
    finally:
        os.close(holder)
    assert sorted(p.name for p in out.iterdir()) == [".ravir-lock"]
    run("render", sprite, "-o", out)  # the lock went with its holder
    assert sorted(p.name for p in out.iterdir()) == ["x.json", "x_000.png", "x_001.png"]


def test_a_render_removes_the_frames_of_its_earlier_render_and_nothing_else(project, tmp_path):
    out = tmp_path / "out"
    run("render", project.animation(SPRITE * 6), "-o", out)
    manifest = json.loads((out / "x.json").read_text())
    for name in ("x_keep.png", "y_000.png"):
        (out / name).write_bytes(b"mine")
    (tmp_path / "victim.png").write_bytes(b"mine")
    manifest["frames"] += [{"image": name} for name in ("../victim.png", "x_keep.png", "y_000.png", "x.json")]
    (out / "x.json").write_text(json.dumps(manifest))
    run("render", project.animation(SPRITE), "-o", out)
    assert sorted(p.name for p in out.iterdir()) == ["x.json", "x_000.png", "x_001.png", "x_keep.png", "y_000.png"]
    assert (tmp_path / "victim.png").exists()


def test_output_names_stay_in_the_output_folder_and_apart(project, tmp_path):
    for name in (".orv", "..orv", "x.orv", "x_sheet.orv"):
        project.animation(SPRITE, name=name)
    result = run("render", project.root / "anim", "-o", tmp_path / "out" / "x", "--sheet", ok=False)
    assert [line.split(": ")[1:3] for line in problems(result)] == [
        [str(project.root / "anim" / name), message] for name, message in (
            ("..orv", "its name leaves nothing to name its outputs by"),
            (".orv", "its name leaves nothing to name its outputs by"),
            ("x_sheet.orv", f"its outputs in {tmp_path / 'out' / 'x'} would take the names of those of "
                            f"{project.root / 'anim' / 'x.orv'}"))]
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == ["x"]
    assert sorted(p.name for p in (tmp_path / "out" / "x").iterdir()) == [
        "x.json", "x_000.png", "x_001.png", "x_sheet.json", "x_sheet.png"]
