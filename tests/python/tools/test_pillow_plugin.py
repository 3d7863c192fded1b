import io
import pickle
import re
import shutil
import struct
import subprocess
import sys
from pathlib import Path

import pytest
from PIL import Image, ImageFile, ImageSequence, UnidentifiedImageError

import ravir_tools.pillow  # noqa: F401  registers the format
from ravir_tools import _native

from tests.support.cli_run import ravir as run
from tests.support.projects import SPRITE
from tests.support.orv_bytes import Frame, animation_bytes, ramp_palette

REPOSITORY = Path(__file__).resolve().parents[3]
SAMPLE = REPOSITORY / "examples" / "sample" / "anim" / "orb.orv"

EMPTY = Frame(width=0, rows=[])
TALL_EMPTY = Frame(width=0, rows=[[]] * 11)  # effects often start with such a frame
UP_LEFT = Frame(width=2, rows=[[(0, [7, 8])], [(1, [9])]], x_offset=-5, y_offset=-4)
DOWN_RIGHT = Frame(width=3, rows=[[(0, [3, 3, 3])]], x_offset=6, y_offset=2)
BACKGROUND = Frame(width=300, rows=[[(0, [1] * 200), (10, [2] * 50)]] * 2, x_offset=5)
ONE_COLOR = [(40, 50, 60, 255)] * 256  # every index looks alike: only the indices themselves tell them apart

# Generated animations: frames, background flag, palette colors.
GENERATED = {
    "empty first frame": ([TALL_EMPTY, UP_LEFT, DOWN_RIGHT], None, None),
    "shadow frames": (SPRITE + [DOWN_RIGHT, SPRITE[1]], None, None),
    "background": ([UP_LEFT, EMPTY, SPRITE[1], BACKGROUND], 1, None),
    "no pixels": ([TALL_EMPTY], None, None),
    "one color": ([UP_LEFT, DOWN_RIGHT, BACKGROUND], 1, ONE_COLOR),
}


@pytest.fixture(params=["sample", *GENERATED])
def animation(request, project) -> Path:
    if request.param == "sample":
        return SAMPLE
    frames, background, colors = GENERATED[request.param]
    if colors is not None:
        project.palette(colors=colors)
    return project.animation(frames, background=background, speed=90)


def rendered(path):
    """The frames the core renders, and the tree and palette they come from."""
    return _native.load(str(path))


def stored(path):
    """Everything the file stores but its palette location: a palette is not needed to read it."""
    loaded = _native.load(str(path), colors=[(0, 0, 0, 255)] * 256)
    data = loaded.data  # its frames live as long as `loaded`
    frames = [(f.width, f.height, f.x_offset, f.y_offset, bool(f.is_shadow), _native.frame_indices(data, i)[:2])
              for i, f in enumerate(data.frames)]
    return data.info.speed, data.has_background, frames


def canvas_of(buffers, background):
    """Each shown frame on the canvas, built here from the offsets: the background
    behind the others, opaque pixels covering it. And each frame's box."""
    drawn = [b for b in buffers if b.width and b.height]
    left = min((b.offset_x for b in drawn), default=0)
    top = min((b.offset_y for b in drawn), default=0)
    size = (max(b.offset_x + b.width for b in drawn) - left, max(b.offset_y + b.height for b in drawn) - top) \
        if drawn else (1, 1)
    boxes = [(b.offset_x - left, b.offset_y - top, b.offset_x - left + b.width, b.offset_y - top + b.height)
             for b in buffers]
    behind = len(buffers) - 1 if background and len(buffers) > 1 else None
    canvases = []
    for index in range(len(buffers) - (behind is not None)):
        canvas = Image.new("RGBA", size)
        for i in [i for i in (behind, index) if i is not None and buffers[i].width and buffers[i].height]:
            image = Image.frombytes("RGBA", (buffers[i].width, buffers[i].height), buffers[i].pixels)
            canvas.paste(image, boxes[i][:2], image)
        canvases.append(canvas)
    return canvases, boxes


def test_every_frame_is_the_animation_as_it_plays_on_one_canvas(animation):
    loaded = rendered(animation)
    buffers, d = loaded.images, loaded.data
    canvases, boxes = canvas_of(buffers, d.has_background)
    with Image.open(animation) as image:
        assert (image.format, image.mode, image.n_frames) == ("ORV", "RGBA", len(canvases))
        assert image.is_animated == (len(canvases) > 1)
        for index, (canvas, frame) in enumerate(zip(canvases, buffers)):
            image.seek(index)
            assert image.info == image.info | {
                "offset": (frame.offset_x, frame.offset_y), "shadow": bool(d.frames[index].is_shadow),
                "background": len(canvases) == 1 and d.has_background, "frame_box": boxes[index],
                "speed": d.info.speed, "duration": max(d.info.speed, 1), "loop": 0,
                "palette_file": loaded.palette_path}
            assert image.tobytes() == canvas.tobytes()
            assert pickle.loads(pickle.dumps(image.copy())).tobytes() == canvas.tobytes()  # for another process
            if not d.has_background:
                assert image.crop(image.info["frame_box"]).tobytes() == frame.pixels


def test_opening_reads_no_pixels_until_they_are_asked_for(project):
    path = project.animation(SPRITE)
    with Image.open(path) as image:
        path.write_bytes(path.read_bytes()[:40])  # cut after the header: only load() can notice
        assert image.size == (5, 6)  # the canvas of both frames, from their headers
        with pytest.raises(OSError, match="ends after 40 bytes"):
            image.load()


@pytest.mark.parametrize("format", ["GIF", "PNG", "WEBP"])
def test_one_line_converts_at_the_animations_speed(animation, tmp_path, format):
    with Image.open(animation) as image:
        count, duration = image.n_frames, image.info["duration"]
        image.save(tmp_path / "x", format=format, save_all=True)
    with Image.open(tmp_path / "x") as converted:
        assert converted.n_frames == count
        durations = []
        for frame in ImageSequence.Iterator(converted):
            frame.load()  # WebP reads a frame's timing with its pixels
            durations.append(frame.info.get("duration"))
    if count == 1:
        return  # a single image, without timing
    assert durations == [duration // 10 * 10 if format == "GIF" else duration] * count
    if format == "PNG":
        run("render", animation, "-o", tmp_path / "render", "--apng")
        with Image.open(tmp_path / "x") as mine, Image.open(tmp_path / "render" / f"{animation.stem}.apng") as theirs:
            assert [f.convert("RGBA").tobytes() for f in ImageSequence.Iterator(mine)] == \
                [f.convert("RGBA").tobytes() for f in ImageSequence.Iterator(theirs)]


def test_the_canvas_goes_through_pillows_decompression_bomb_check(project, monkeypatch):
    monkeypatch.setattr(Image, "MAX_IMAGE_PIXELS", 100)

    def dots(far):  # two pixels, the second `far` pixels away on both axes
        return [Frame(width=1, rows=[[(0, [1])]]), Frame(width=1, rows=[[(0, [1])]], x_offset=far, y_offset=far)]

    with pytest.warns(Image.DecompressionBombWarning), Image.open(project.animation(dots(10), name="a.orv")):
        pass  # 11 x 11
    with pytest.raises(Image.DecompressionBombError):
        Image.open(project.animation(dots(20), name="b.orv"))  # 21 x 21, above twice the limit


def test_pillow_writes_back_the_same_animation(animation, tmp_path):
    with Image.open(animation) as image:
        image.save(tmp_path / "copy.orv", save_all=True)
    assert stored(tmp_path / "copy.orv") == stored(animation)
    # It finds its palette, and draws the same.
    assert [b.pixels for b in rendered(tmp_path / "copy.orv").images] == [b.pixels for b in rendered(animation).images]


def test_an_edited_frame_changes_only_where_it_was_painted(project, tmp_path):
    path = project.animation([UP_LEFT, DOWN_RIGHT, BACKGROUND], background=1, speed=5)
    with Image.open(path) as image:
        frames = [frame.copy() for frame in ImageSequence.Iterator(image)]
    left, top, *_ = frames[0].info["frame_box"]
    frames[0].putpixel((left, top + 1), ramp_palette()[200])  # a gap of the frame
    frames[0].save(tmp_path / "edited.orv", save_all=True, append_images=frames[1:])
    speed, background, got = stored(tmp_path / "edited.orv")
    _, _, expected = stored(path)
    assert (speed, background) == (5, True)
    assert got[1:] == expected[1:]
    indices, drawn = got[0][5]
    assert (indices, drawn) == (bytes([7, 8, 200, 9]), bytes([1, 1, 1, 1]))


def test_frames_of_any_origin_are_trimmed_and_matched_to_the_palette(project):
    colors = ramp_palette()
    indexed = Image.new("P", (6, 5), 0)  # in the palette, 0 its transparent index
    indexed.putpalette(bytes(c for color in colors for c in color[:3]))
    indexed.info["transparency"] = 0
    indexed.paste(7, (2, 1, 4, 3))
    painted = Image.new("RGBA", (6, 5))
    painted.paste(colors[9], (1, 2, 2, 4))
    out = project.root / "new.orv"
    indexed.save(out, save_all=True, append_images=[painted, painted], palette=str(project.root / "pal" / "a.pal"),
                 offsets=[(10, -10), (-3, 4), (0, 0)], shadow=[False, False, True], speed=42)
    assert stored(out) == (42, False, [(2, 2, 12, -9, False, (bytes([7] * 4), bytes([1] * 4))),
                                       (1, 2, -2, 6, False, (bytes([9] * 2), bytes([1] * 2))),
                                       (1, 2, 1, 2, True, (bytes(2), bytes([1] * 2)))])
    assert rendered(out).palette_path == str(project.root / "pal" / "a.pal")  # found from its folder


@pytest.mark.parametrize("images, options, error, words", [
    ([Image.new("RGBA", (2, 2))], {"palette": None}, ValueError, "no palette"),
    ([Image.new("RGBA", (2, 2))], {"palette": 7}, TypeError, "palette: a path"),
    ([Image.new("RGBA", (2, 2))], {"offsets": "left"}, TypeError, "offsets"),
    ([Image.new("RGBA", (2, 2))], {"speed": "fast"}, TypeError, "speed: an int"),
    ([Image.new("RGBA", (2, 2))], {"background": 1}, TypeError, "background: True or False"),
    ([Image.new("RGBA", (2, 2))], {"offsets": (40000, 0)}, ValueError, "not from -32768 to 32767"),
    ([Image.new("RGBA", (2, 2))] * 2, {"shadow": [True, False, True]}, ValueError, "shadow: 3 values for 2 frames"),
    ([Image.new("RGBA", (2, 2)), Image.new("P", (3, 2), 5)], {}, ValueError,
     r"frame 1: pixel \(0, 0\) has the color #000000ff, which is not in the palette"),
])
def test_a_bad_call_is_one_exception_and_writes_nothing(project, images, options, error, words):
    out = project.root / "bad.orv"
    if images[-1].mode == "P":
        images[-1].putpalette(bytes([0, 0, 0]) * 256)  # no entry of the ramp is black
    with pytest.raises(error, match=words):
        images[0].save(out, save_all=True, append_images=images[1:],
                       **({"palette": str(project.root / "pal" / "a.pal")} | options))
    assert not out.exists()


def test_the_readme_pillow_lines_run_as_written(tmp_path):
    readme = (REPOSITORY / "README.md").read_text()
    section = readme[readme.index("## Other tools' formats"):readme.index("`ravir palette` converts")]
    code = "\n".join(re.findall(r"```python\n(.*?)```", section, re.S))
    shutil.copytree(REPOSITORY / "examples" / "sample", tmp_path / "examples" / "sample")
    result = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert stored(tmp_path / "orb_copy.orv") == stored(SAMPLE)


def images_of_other_formats():
    picture = Image.linear_gradient("L").resize((40, 24)).convert("RGB")
    for size in [(1, 1), (16, 16), (300, 200)]:
        for mode in ["RGB", "RGBA", "P", "1"]:
            yield picture.resize(size).convert(mode)


@pytest.mark.parametrize("format", ["PNG", "GIF", "JPEG", "BMP", "WEBP", "TIFF", "ICO", "PPM", "TGA", "PCX",
                                    "QOI", "DDS", "SGI"])
def test_files_of_other_formats_open_as_themselves(tmp_path, format):
    for index, picture in enumerate(images_of_other_formats()):
        stream = io.BytesIO()
        try:
            picture.save(stream, format)
        except (OSError, ValueError, KeyError):
            continue  # a mode this format does not write
        path = tmp_path / f"{index}.orv"  # even under our extension
        path.write_bytes(stream.getvalue())
        assert not ravir_tools.pillow._accept(stream.getvalue()[:16])
        with Image.open(path) as image:
            assert image.format == format


def test_a_file_that_pillow_opens_stays_its_own_even_when_it_reads_as_an_animation(tmp_path):
    # A TGA of 4 x 4 RGBA pixels whose color map origin, image origin and size read as a
    # palette location "a.b" of 10 bytes, and whose first pixel as a frame count of 1.
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0x0A00, 0, 0, 0x2E61, 0x0062, 4, 4, 32, 0x28)
    path = tmp_path / "a.orv"
    path.write_bytes(header + bytes([1]) + bytes(63))
    assert ravir_tools.pillow._accept(header[:16])
    with Image.open(path) as image:
        assert (image.format, image.size) == ("TGA", (4, 4))


def test_an_aseprite_file_is_not_claimed(tmp_path):
    # Aseprite's header: file size, magic 0xA5E0, frames, width, height, depth.
    header = struct.pack("<IHHHHH", 2000, 0xA5E0, 1, 16, 16, 32) + bytes(100)
    path = tmp_path / "a.orv"
    path.write_bytes(header)
    assert not ravir_tools.pillow._accept(header[:16])
    with pytest.raises(UnidentifiedImageError):
        Image.open(path)


@pytest.mark.parametrize("options", [
    dict(frame_count=1_000_000),  # more frames than bytes
    dict(frame_count=4),  # more frames than their record headers could fit in
    dict(frame_count=0),  # no frames, and bytes after the header
    dict(location_size=9000),
    dict(location="no extension"),
    dict(location=b"pal/\x01a.pal"),
])
def test_an_inconsistent_header_is_not_an_animation(project, options):
    with pytest.raises(UnidentifiedImageError):
        Image.open(project.animation(SPRITE, **options))


def test_a_truncated_file_raises_unless_truncated_images_are_loaded(project, monkeypatch):
    whole = animation_bytes(SPRITE, location="pal/a.pal")
    path = project.animation(SPRITE)
    path.write_bytes(whole[:-3])  # inside the last row of the shadow frame
    with Image.open(path) as image, pytest.raises(OSError, match=r"ends after \d+ bytes, in frame 1"):
        image.load()
    monkeypatch.setattr(ImageFile, "LOAD_TRUNCATED_IMAGES", True)
    buffers = rendered(path).images
    with Image.open(path) as image:
        crops = [frame.crop(frame.info["frame_box"]).tobytes() for frame in ImageSequence.Iterator(image)]
    assert crops == [b.pixels for b in buffers]


def test_what_finds_no_palette_says_so(project):
    lost = project.animation(SPRITE, location="pal/none.pal")
    with pytest.raises(OSError, match="'pal/none.pal' is not found"):
        Image.open(lost)
    with pytest.raises(OSError, match="without its file's name"):
        Image.open(io.BytesIO(project.animation(SPRITE).read_bytes()))
    with open(project.animation(SPRITE), "rb") as named, Image.open(named) as image:
        assert image.crop(image.info["frame_box"]).tobytes() == rendered(named.name).images[0].pixels


def test_an_animation_of_no_frames_says_why(project):
    with pytest.raises(OSError, match="holds no frames") as raised:
        Image.open(project.animation([]))
    assert not isinstance(raised.value, UnidentifiedImageError)


def test_a_large_later_frame_gives_a_canvas_that_pillow_refuses_at_open(project):
    path = project.animation([SPRITE[0], Frame(width=65535, rows=[[]] * 4096)])
    with pytest.raises(Image.DecompressionBombError):
        Image.open(path)
