import fcntl
import json
import os
import struct

import pytest
import ravir
from PIL import Image

from ravir_tools.palettes.registry import write_palette_file

from tests.support.cli_run import one_error, pixels, ravir as run, rgba
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


def test_the_sheet_atlas_locates_every_frame_as_texturepacker_does(project, sprite, tmp_path):
    run("render", sprite, "-o", tmp_path, "--sheet", "--scale", 2)
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


def test_a_background_is_drawn_behind_each_other_frame(project, tmp_path):
    frames = [Frame(width=1, rows=[[(0, [9])]]), Frame(width=2, rows=[[(0, [4, 5])]])]
    run("render", project.animation(frames, background=1), "-o", tmp_path, "--apng")
    with Image.open(tmp_path / "x.apng") as preview:
        assert preview.n_frames == 1
        ramp = ramp_palette()
        assert pixels(preview) == [ramp[9], ramp[5]]


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
    assert [line.split(": ")[1:3] for line in result.stderr.splitlines()] == [
        [str(project.root / "anim" / name), message] for name, message in (
            ("..orv", "its name leaves nothing to name its outputs by"),
            (".orv", "its name leaves nothing to name its outputs by"),
            ("x_sheet.orv", f"its outputs in {tmp_path / 'out' / 'x'} would take the names of those of "
                            f"{project.root / 'anim' / 'x.orv'}"))]
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == ["x"]
    assert sorted(p.name for p in (tmp_path / "out" / "x").iterdir()) == [
        "x.json", "x_000.png", "x_001.png", "x_sheet.json", "x_sheet.png"]
