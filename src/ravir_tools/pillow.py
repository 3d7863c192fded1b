"""A Pillow plugin for the game's animation files: opens them as animated images
and writes them from Pillow frames.

    import ravir_tools.pillow
    from PIL import Image

    with Image.open("anim/walk.orv") as im:
        im.save("walk.webp", save_all=True)            # plays at the animation's speed
        box = im.info["frame_box"]                     # frame 0's own rectangle on the canvas
        im.crop(box).save("frame0.png")

Every frame is a canvas of one size, the one `ravir render --apng` draws (frames/
preview.py): each frame placed at its offsets, an animation's background frame
drawn behind each of its other frames (and not shown on its own). The pixels are
the core's render, with the palette that ravir.OrvF.load finds for the file: so
the file must be opened by its path (or as a file object whose name is that path),
since the palette is searched for from the animation's folder upwards.

Opening reads the file's frame headers, for the canvas and Pillow's decompression
bomb check; the first load() or seek() decodes and renders the whole animation with
the core, once. A file whose load reports problems (one that ends early included)
raises OSError with the core's messages, unless ImageFile.LOAD_TRUNCATED_IMAGES is
set, which keeps what loaded. Writing is pillow_writer.py's.
"""

from __future__ import annotations

import os
from collections.abc import Callable
from typing import NamedTuple

from PIL import Image, ImageFile

from ravir_tools import _native, limits, pillow_writer
from ravir_tools.animation import peek_header
from ravir_tools.durations import duration_ms
from ravir_tools.frames import preview
from ravir_tools.frames.color_lookup import Indexed

MAGIC = b"FATZ"  # the optional background header's; the format has no other magic
# A longer stored location is no path a file system takes: such bytes are some
# other format's. The shortest real one names at least one character.
MAX_LOCATION_SIZE = 4096
MIN_LOCATION_SIZE = 2
# Control characters, and what no Windows or game path holds.
NOT_IN_PATHS = frozenset(range(0x20)) | {0x7F} | set(b'<>"|?*')
# Files of other formats whose first bytes would read as a speed: no animation
# runs at such a speed (each is above two million), and these formats hold many
# small files whose next bytes could pass for a short location.
FOREIGN_SIGNATURES = (b"RIFF", b"RIFX", b"FORM", b"\x89PNG", b"GIF8", b"\xff\xd8\xff", b"II*\0", b"MM\0*",
                      b"8BPS", b"qoif", b"DDS ", b"icns", b"%PDF", b"%!PS")


class Header(NamedTuple):
    background: bool
    speed: int
    location: bytes  # up to its first NUL
    frame_count: int  # the background frame included


class Placed(NamedTuple):
    """A frame as the canvas places it."""
    width: int
    height: int
    x_offset: int
    y_offset: int
    shadow: bool


def _plausible_path(name: bytes) -> bool:
    return bool(name) and not NOT_IN_PATHS.intersection(name)


def _names_a_file(location: bytes) -> bool:
    """A whole location: a plausible path whose file name has an extension, as a
    palette file's name has (".pal")."""
    name = location.replace(b"\\", b"/").rsplit(b"/", 1)[-1]
    stem, dot, extension = name.rpartition(b".")
    return _plausible_path(location) and bool(dot and stem and extension)


def _accept(prefix: bytes) -> bool:
    """Whether the first 16 bytes can start an animation file. The format has no
    magic of its own beyond the optional "FATZ", so the check is the location
    size's: small and non-zero, which no text and no common image format has,
    followed (where the 16 bytes reach) by the start of a plausible path; and no
    file starts with a well-known format's signature. _open checks the whole header."""
    if prefix.startswith(FOREIGN_SIGNATURES):
        return False
    peek = peek_header(prefix)
    if not MIN_LOCATION_SIZE <= peek.location_size <= MAX_LOCATION_SIZE:
        return False
    # With the background header, the 16 bytes end before the location starts.
    return prefix.startswith(MAGIC) or _plausible_path(peek.location.split(b"\0", 1)[0])


def read_header(data: bytes) -> Header:
    """The header of the animation file `data`, checked to be self-consistent and
    consistent with the file's size: SyntaxError for bytes that are no animation."""
    peek = peek_header(data)
    if not MIN_LOCATION_SIZE <= peek.location_size <= MAX_LOCATION_SIZE:
        raise SyntaxError(f"a palette location of {peek.location_size} bytes")
    if len(peek.location) < peek.location_size or b"\0" not in peek.location:
        raise SyntaxError("the palette location is not NUL-terminated")
    location = peek.location.split(b"\0", 1)[0]
    if not _names_a_file(location):
        raise SyntaxError("the palette location names no file")
    if not peek.complete:
        raise SyntaxError("the file ends within the header")
    count = peek.frame_count + peek.background
    # Every frame takes a record header of its own, and the file holds the first
    # one whole; a file of no frames ends with its header. A file that ends later
    # reads as if zeros followed, as the core reads it.
    if peek.header_size + _native.FRAME_HEADER_SIZE * count > len(data):
        raise SyntaxError(f"a frame count of {count} in a file of {len(data)} bytes")
    if count == 0 and len(data) != peek.header_size:
        raise SyntaxError(f"no frames, and {len(data) - peek.header_size} bytes after the header")
    return Header(peek.background, peek.speed, location, count)


def _file_name(fp, filename) -> str:
    """The path the animation was opened from: the palette is found from its folder."""
    if filename:
        return os.fsdecode(filename)
    name = getattr(fp, "name", None)
    if isinstance(name, (str, bytes)) and name:
        # Only when the name is the very file being read, not some archive member's.
        try:
            if os.path.samestat(os.fstat(fp.fileno()), os.stat(name)):
                return os.fsdecode(name)
        except (OSError, ValueError, AttributeError):
            pass
    raise OSError("cannot find the palette of an animation read from a file object without its file's name: "
                  "open it by its path, since the palette is searched for from the animation's folder")


class Canvas:
    """Where every frame lies on the preview canvas, and which frames are shown."""

    def __init__(self, frames: list[Placed], background: bool):
        self.frames = frames
        layout = preview.placement([(f.width, f.height) for f in frames], frames, 1, False)
        self.origin = (0, 0)  # where offsets (0, 0) lie on the canvas
        if layout is None:
            self.size = (1, 1)  # nothing is drawn: Pillow holds no image of size 0
        else:
            self.size, corners = layout
            drawn = next(i for i, corner in enumerate(corners) if corner is not None)
            self.origin = (corners[drawn][0] - frames[drawn].x_offset, corners[drawn][1] - frames[drawn].y_offset)
        self.shown, self.behind = preview.sequence(len(frames), background)

    def box(self, index: int) -> tuple[int, int, int, int]:
        """Frame `index`'s rectangle on the canvas; a frame without pixels has its
        place too, though it may lie off the canvas."""
        frame = self.frames[index]
        left, top = self.origin[0] + frame.x_offset, self.origin[1] + frame.y_offset
        return left, top, left + frame.width, top + frame.height

    def draw(self, image_of: Callable[[int], Image.Image | None], index: int) -> Image.Image:
        """Frame `index` on the canvas, over the background frame when there is one;
        `image_of` gives each frame's image, None for one without pixels."""
        canvas = Image.new("RGBA", self.size)
        covered = False
        for i in (index,) if self.behind is None else (self.behind, index):
            image = image_of(i)
            if image is None:
                continue
            if covered:
                canvas.alpha_composite(image, self.box(i)[:2])
            else:
                # Copied, not blended: its fully transparent pixels keep their colors too.
                canvas.paste(image, self.box(i)[:2])
            covered = True
        return canvas


class _Animation:
    """An opened animation: its canvas, and once loaded, the core's tree and images."""

    def __init__(self, path: str, palette_path: str, header: Header, canvas: Canvas):
        self.path, self.palette_path, self.header, self.canvas = path, palette_path, header, canvas
        self.loaded = None

    def load(self) -> None:
        if self.loaded is not None:
            return
        try:
            loaded = _native.load(self.path, palette=self.palette_path)
        except (ValueError, RuntimeError) as error:
            raise OSError(f"{self.path}: {error}") from None
        problems = [problem.message for problem in loaded.problems]
        if not loaded.opened:
            raise OSError(f"{self.path}: cannot be opened")
        if problems and (len(loaded.images) != len(self.canvas.frames) or not ImageFile.LOAD_TRUNCATED_IMAGES):
            raise OSError(f"{self.path}: " + "; ".join(problems))
        placed = [Placed(f.width, f.height, f.x_offset, f.y_offset, bool(f.is_shadow)) for f in loaded.data.frames]
        if placed != self.canvas.frames:
            raise OSError(f"{self.path}: the file changed since it was opened")
        self.loaded = loaded

    def image(self, index: int) -> Image.Image | None:
        """Frame `index` as the core rendered it. None for a frame without pixels, and
        for one the core could not draw (past its render size limit), which only
        LOAD_TRUNCATED_IMAGES lets through."""
        rendered = self.loaded.images[index]
        if not (rendered.width and rendered.height and _native.has_pixels(rendered)):
            return None
        return Image.frombytes("RGBA", (rendered.width, rendered.height), rendered.pixels)

    def draw(self, index: int) -> Image.Image:
        self.load()
        return self.canvas.draw(self.image, index)


class _Source(pillow_writer.Source):
    """Frame `index` of an opened animation, for writing it back exactly."""

    def __init__(self, animation: _Animation, index: int):
        self.animation, self.index = animation, index
        self.canvas_size = animation.canvas.size
        self.box = animation.canvas.box(index)

    def original(self) -> pillow_writer.Frame:
        return self._stored(self.index)

    def shown(self) -> Image.Image:
        return self.animation.draw(self.index).crop(self.box)

    def background(self) -> pillow_writer.Frame | None:
        behind = self.animation.canvas.behind
        return None if behind is None else self._stored(behind)

    def _stored(self, index: int) -> pillow_writer.Frame:
        self.animation.load()
        frame = self.animation.canvas.frames[index]
        indices, drawn, _ = _native.frame_indices(self.animation.loaded.data, index)
        return pillow_writer.Frame(Indexed(frame.width, frame.height, indices, drawn), frame.x_offset,
                                   frame.y_offset, frame.shadow)

    def __repr__(self) -> str:
        return f"<frame {self.index} of {self.animation.path}>"

    def __deepcopy__(self, memo) -> _Source:
        return self  # it changes nothing of the animation: copies may share it

    def __reduce__(self):
        # Pickled (for another process, say), a frame keeps its pixels and facts but
        # not the animation it came from, which lives in this process only.
        return type(None), ()


class OrvImageFile(ImageFile.ImageFile):
    format = "ORV"
    format_description = "Quorl animation"

    def _open(self) -> None:
        data = self.fp.read(limits.MAX_ANIMATION_BYTES + 1)
        header = read_header(data)
        if len(data) > limits.MAX_ANIMATION_BYTES:
            raise OSError(f"{self.filename or 'the file'}: is more than the {limits.MAX_ANIMATION_BYTES:,} bytes an "
                          "animation may have")
        # From here on the file is an animation: failures say what is wrong with it.
        path = os.path.abspath(_file_name(self.fp, self.filename))
        if header.frame_count == 0:
            raise OSError(f"{path}: the animation holds no frames")
        try:
            palette_path = _native.find_palette(path, header.location)
        except RuntimeError as error:
            raise OSError(f"{path}: cannot search for its palette: {error}") from None
        if not palette_path:
            raise OSError(f"{path}: its palette {os.fsdecode(header.location)!r} is not found in "
                          f"{os.path.dirname(path)} or any folder above it")
        # The frames past the end of a file that ends early read as frames without pixels.
        frames = list(map(Placed._make, _native.frame_headers(data)))
        frames += [Placed(0, 0, 0, 0, False)] * (header.frame_count - len(frames))
        self._animation = _Animation(path, palette_path, header, Canvas(frames, header.background))
        canvas = self._animation.canvas
        self._frame = 0
        self.n_frames = len(canvas.shown)
        self.is_animated = self.n_frames > 1
        self._mode = "RGBA"
        self._size = canvas.size  # Image.open checks it against Image.MAX_IMAGE_PIXELS
        self.info.update(speed=header.speed, palette_file=palette_path, duration=duration_ms(header.speed), loop=0)
        self._set_frame_info()

    def _set_frame_info(self) -> None:
        animation = self._animation
        index = animation.canvas.shown[self._frame]
        frame = animation.canvas.frames[index]
        self.info.update({
            "offset": (frame.x_offset, frame.y_offset), "shadow": frame.shadow,
            "background": animation.header.background and index == animation.header.frame_count - 1,
            "frame_box": animation.canvas.box(index), pillow_writer.SOURCE: _Source(animation, index)})
        # Not read from the file by Pillow: load() draws the canvas instead.
        self.tile = [("raw", (0, 0) + self.size, 0, ("RGBA", 0, 1))]

    def seek(self, frame: int) -> None:
        if not self._seek_check(frame):
            return
        self._animation.load()
        self._close_file()
        self._frame = frame
        self._im = None
        self._set_frame_info()

    def tell(self) -> int:
        return self._frame

    def _close_file(self) -> None:
        # Everything is in memory once loaded, whatever frame comes next.
        if self._exclusive_fp and self.fp is not None:
            self.fp.close()
        self.fp = None

    def load(self):
        if self.tile:
            canvas = self._animation.draw(self._animation.canvas.shown[self._frame])
            self._close_file()
            self.im = canvas.im
            self.tile = []
        return Image.Image.load(self)


# After Pillow's own plugins, so that a file that one of them opens stays theirs:
# this format has no magic to claim a file by.
Image.init()
Image.register_open(OrvImageFile.format, OrvImageFile, _accept)
Image.register_save(OrvImageFile.format, pillow_writer.save)
Image.register_save_all(OrvImageFile.format, pillow_writer.save_all)
Image.register_extension(OrvImageFile.format, ".orv")
