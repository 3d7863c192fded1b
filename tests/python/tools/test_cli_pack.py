import json

import pytest
import ravir
from PIL import Image

from ravir_tools.palettes.registry import write_palette_file

from tests.support.cli_run import one_error, ravir as run, rgba
from tests.support.orv_bytes import ramp_palette
from tests.support.projects import SPRITE, Project

RAMP = ramp_palette()


def image(width, height, pixels) -> Image.Image:
    """A transparent image with the given {(x, y): color} drawn."""
    result = Image.new("RGBA", (width, height))
    for xy, color in pixels.items():
        result.putpixel(xy, color)
    return result


def save(tmp_path, images) -> list:
    paths = []
    for number, picture in enumerate(images):
        paths.append(tmp_path / "frames" / f"f{number}.png")
        paths[-1].parent.mkdir(exist_ok=True)
        picture.save(paths[-1])
    return paths


def loaded(path):
    f = ravir.OrvF()
    d = f.load(str(path))
    assert d is not None
    return f, d


# A gap and a run longer than one byte holds, a full row, a frame of one color with
# a hole, and a shadow.
FRAMES = [
    image(600, 3, {**{(x, 0): RAMP[x % 256] for x in range(300, 570)},
                   **{(x, 2): RAMP[x * 7 % 256] for x in range(600)}}),
    image(2, 2, {(0, 0): RAMP[0], (1, 0): RAMP[0], (0, 1): RAMP[0]}),
    image(3, 1, {(1, 0): (0, 0, 0, 255)}),
]


def test_packed_frames_load_and_render_back_to_their_pixels(project, tmp_path):
    out = project.root / "anim" / "new.orv"
    run("pack", *save(tmp_path, FRAMES), "--palette", project.root / "pal" / "a.pal", "-o", out,
        "--root", project.root, "--speed", 9, "--shadow", "2", "--offsets", "[[1, -2], [0, 0], [-5, 7]]")
    f, d = loaded(out)
    assert d.info.speed == 9
    assert d.palette.location() == "pal/a.pal"
    assert [frame.is_shadow for frame in d.frames] == [0, 0, 1]
    buffers = f.get_frame_buffer()
    assert [(b.offset_x, b.offset_y) for b in buffers] == [(1, -2), (0, 0), (-5, 7)]
    assert [b.pixels for b in buffers] == [picture.tobytes() for picture in FRAMES]


def test_the_root_defaults_to_the_folder_above_the_output_and_the_palette(project, tmp_path):
    out = project.root / "anim" / "deep" / "new.orv"
    run("pack", *save(tmp_path, FRAMES[1:2]), "--palette", project.root / "pal" / "a.pal", "-o", out)
    assert loaded(out)[1].palette.location() == "pal/a.pal"


def test_a_root_not_above_the_output_is_warned_about(project, tmp_path):
    out = tmp_path / "elsewhere" / "new.orv"
    result = run("pack", *save(tmp_path, FRAMES[1:2]), "--palette", project.root / "pal" / "a.pal", "-o", out,
                 "--root", project.root / "pal")
    assert out.exists()
    assert "warning" in result.stderr and "does not find its palette" in result.stderr


@pytest.mark.parametrize("palette, output, stored, said", [
    ("a.pal", "elsewhere/y.orv", "pal/a.pal", False),  # the same palette, found again in the moved folder
    ("night.pal", "game_renamed/anim/y.orv", "pal/night.pal", True),  # another: a palette swap, told
])
def test_a_manifest_packed_after_the_game_folder_moved_keeps_its_location(tmp_path, palette, output, stored, said):
    game = Project(tmp_path / "game")
    game.palette()
    run("render", game.animation(SPRITE), "-o", tmp_path / "out", "--indexed")
    moved = Project((tmp_path / "game").rename(tmp_path / "game_renamed"))
    moved.palette("night.pal")
    result = run("pack", tmp_path / "out" / "x.json", "--palette", moved.root / "pal" / palette, "-o",
                 tmp_path / output)
    packed = ravir.OrvF()
    packed.load(str(tmp_path / output))
    assert packed.data().palette.location() == stored
    assert ("where x.json recorded 'pal/a.pal'" in result.stderr) == said


def test_nearest_maps_colors_not_in_the_palette(project, tmp_path):
    frames = save(tmp_path, [image(2, 1, {(0, 0): RAMP[7], (1, 0): (3, 253, 0, 255)})])  # nearest: entry 2
    palette, out = project.root / "pal" / "a.pal", tmp_path / "new.orv"
    one_error(run("pack", *frames, "--palette", palette, "-o", out, ok=False),
              frames[0], "pixel (1, 0)", "#03fd00ff", "not in the palette")
    assert not out.exists()
    run("pack", *frames, "--palette", palette, "-o", out, "--nearest")
    f, _ = loaded(out)
    assert f.get_frame_buffer()[0].pixels == bytes(RAMP[7] + RAMP[2])


@pytest.mark.parametrize("options", [
    [],  # each PNG says its offsets and whether it is a shadow frame
    ["--offsets", "out/x_sheet.json", "--shadow", "1"],
])
def test_frames_of_a_render_pack_back_to_the_same_animation(project, sprite, tmp_path, options):
    run("render", sprite, "-o", tmp_path / "out", "--sheet")
    out = project.root / "anim" / "again.orv"
    run("pack", tmp_path / "out" / "x_000.png", tmp_path / "out" / "x_001.png", "--palette",
        project.root / "pal" / "a.pal", "-o", out, *options, cwd=tmp_path)
    before, after = (json.loads(run("info", "--json", path).stdout)[0]["frames"] for path in (sprite, out))
    assert after == before
    assert ([rgba(b) for b in loaded(out)[0].get_frame_buffer()]
            == [rgba(b) for b in loaded(sprite)[0].get_frame_buffer()])


@pytest.mark.parametrize("options, culprit, words", [
    (["--offsets", "[[0, 0]]"], "--offsets", ["gives 1 offsets for 2 frames"]),
    (["--offsets", "[[0, 0], [40000, 0]]"], "--offsets", ["offset 1", "-32768"]),
    (["--offsets", "offsets.json"], "offsets.json", ["no such file"]),
    (["--shadow", "5"], "--shadow", ["no frame 5"]),
    (["--palette", "zero.pal"], "zero.pal", ["Invalid color count: 0"]),
])
def test_bad_options_are_one_line_and_write_nothing(project, tmp_path, options, culprit, words):
    project.palette("zero.pal", colors=[], count=0)
    frames = save(tmp_path, FRAMES[1:2] * 2)
    out = tmp_path / "new.orv"
    args = ["--palette", project.root / "pal" / "a.pal", "-o", out, *options]
    one_error(run("pack", *frames, *args, cwd=project.root / "pal", ok=False), culprit, *words)
    assert not out.exists()


@pytest.mark.parametrize("bad, words", [
    (image(512, 1, {(x, 0): RAMP[1] for x in range(0, 512, 2)}), ["row 0 needs 256 runs"]),
    (b"not a picture", ["cannot read the image"]),
    (None, ["no such file"]),
])
def test_each_bad_frame_is_named_and_nothing_is_written(project, tmp_path, bad, words):
    good, broken = save(tmp_path, [FRAMES[1], FRAMES[1]])
    if isinstance(bad, bytes):
        broken.write_bytes(bad)
    elif bad is None:
        broken.unlink()
    else:
        bad.save(broken)
    out = tmp_path / "new.orv"
    result = run("pack", broken, good, broken, "--palette", project.root / "pal" / "a.pal", "-o", out, ok=False)
    assert result.returncode == 1
    lines = result.stderr.splitlines()
    assert len(lines) == 2 and all(str(broken) in line for line in lines)
    assert all(word in lines[0] for word in words)
    assert not out.exists()


def test_a_palette_in_another_format_gives_its_colors_and_a_warning(project, tmp_path):
    gpl = project.root / "pal" / "a.gpl"
    write_palette_file(gpl, RAMP, "gpl")
    out = project.root / "anim" / "new.orv"
    result = run("pack", *save(tmp_path, FRAMES[:2]), "--palette", gpl, "-o", out)
    assert "warning" in result.stderr and "the game cannot read" in result.stderr
    f = ravir.OrvF()
    f.load(str(out), io_pal=str(project.root / "pal" / "a.pal"))
    assert [b.pixels for b in f.get_frame_buffer()] == [picture.tobytes() for picture in FRAMES[:2]]
