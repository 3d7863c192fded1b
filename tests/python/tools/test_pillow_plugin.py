import io
import struct

import pytest
import ravir
from PIL import Image, ImageFile, UnidentifiedImageError

import ravir_tools.pillow  # noqa: F401  registers the format

from tests.support.projects import SPRITE
from tests.support.orv_bytes import Frame, animation_bytes


def rendered(path):
    f = ravir.OrvF()
    f.load(str(path))
    return f.get_frame_buffer()


def frames_of(image):
    """Each frame as (size, pixels, offset, shadow, background)."""
    result = []
    for index in range(image.n_frames):
        image.seek(index)
        assert image.tell() == index
        result.append((image.size, image.tobytes(), image.info["offset"], image.info["shadow"],
                       image.info["background"]))
    return result


EMPTY = Frame(width=0, rows=[])
BACKGROUND = Frame(width=300, rows=[[(0, [1] * 200), (10, [2] * 50)]] * 2, x_offset=5)


@pytest.mark.parametrize("frames, background", [
    (SPRITE, None),
    (SPRITE + [EMPTY, SPRITE[0], BACKGROUND], 1),  # a frame without pixels, a shadow before normal frames
    ([BACKGROUND], 1),  # nothing but the background
])
def test_every_frame_is_the_frame_the_core_renders(project, frames, background):
    path = project.animation(frames, background=background, speed=9)
    buffers = rendered(path)
    with Image.open(path) as image:
        assert (image.format, image.mode, image.n_frames) == ("ORV", "RGBA", len(buffers))
        assert image.is_animated == (len(buffers) > 1)
        assert (image.info["speed"], image.info["palette_file"]) == (9, str(project.root / "pal" / "a.pal"))
        got = frames_of(image)
    assert got == [((b.width, b.height), b.pixels, (b.offset_x, b.offset_y), frame.shadow,
                    bool(background) and index == len(buffers) - 1)
                   for index, (b, frame) in enumerate(zip(buffers, frames, strict=True))]


def test_opening_reads_no_pixels_until_they_are_asked_for(project):
    path = project.animation(SPRITE)
    with Image.open(path) as image:
        path.write_bytes(path.read_bytes()[:40])  # cut after the header: only load() can notice
        assert image.size == (4, 3)
        with pytest.raises(OSError, match="ends after 40 bytes"):
            image.load()


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
    buffers = rendered(path)
    with Image.open(path) as image:
        assert [pixels for _, pixels, *_ in frames_of(image)] == [b.pixels for b in buffers]


def test_what_finds_no_palette_says_so(project):
    lost = project.animation(SPRITE, location="pal/none.pal")
    with pytest.raises(OSError, match="'pal/none.pal' is not found"):
        Image.open(lost)
    with pytest.raises(OSError, match="without its file's name"):
        Image.open(io.BytesIO(project.animation(SPRITE).read_bytes()))
    with open(project.animation(SPRITE), "rb") as named, Image.open(named) as image:
        assert image.convert("RGBA").tobytes() == rendered(named.name)[0].pixels


def test_an_animation_saves_as_another_animated_format(sprite, tmp_path):
    with Image.open(sprite) as image:
        image.save(tmp_path / "x.gif", save_all=True)  # the info keys must not read as GIF's own
    with Image.open(tmp_path / "x.gif") as gif:
        assert gif.n_frames == 2


@pytest.mark.parametrize("frames, words", [
    ([], "holds no frames"),
    ([EMPTY, SPRITE[0]], "frame 0 is 0x0"),  # Pillow opens no file whose first image is empty
])
def test_an_animation_pillow_cannot_show_says_why(project, frames, words):
    with pytest.raises(OSError, match=words) as raised:
        Image.open(project.animation(frames))
    assert not isinstance(raised.value, UnidentifiedImageError)


def test_every_frame_seeked_to_is_checked_against_pillows_limit(project):
    path = project.animation([SPRITE[0], Frame(width=65535, rows=[[]] * 4096)])
    with Image.open(path) as image, pytest.raises(Image.DecompressionBombError):
        image.seek(1)
