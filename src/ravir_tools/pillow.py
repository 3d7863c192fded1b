"""A Pillow plugin for the game's animation files.

    import ravir_tools.pillow
    from PIL import Image

    with Image.open("anim/walk.orv") as im:
        for index in range(im.n_frames):
            im.seek(index)
            print(im.size, im.info["offset"], im.info["shadow"])

Every frame is an RGBA image, byte for byte the frame the core renders, drawn
with the palette that ravir.OrvF.load finds for the file: so the file must be
opened by its path (or as a file object whose name is that path), since the
palette is searched for from the animation's folder upwards.

Opening reads the header only; the first load() or seek() decodes and renders the
whole animation with the core, once. A file whose load reports problems (one that
ends early included) raises OSError with the core's messages, unless
ImageFile.LOAD_TRUNCATED_IMAGES is set, which keeps what loaded.
"""

from __future__ import annotations

import os
from typing import NamedTuple

from PIL import Image, ImageFile

from ravir_tools import _native

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
# The background header, speed, location size, longest location, frame count and
# the first frame's header take no more.
MAX_HEADER_SIZE = 9 + 8 + MAX_LOCATION_SIZE + 4 + 14


class Header(NamedTuple):
    background: bool
    speed: int
    location: bytes  # up to its first NUL
    frame_count: int  # the background frame included
    first_frame: tuple[int, int, int, int, bool]  # width, height, x offset, y offset, shadow


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
    peek = _native.peek_header(prefix)
    if not MIN_LOCATION_SIZE <= peek.location_size <= MAX_LOCATION_SIZE:
        return False
    # With the background header, the 16 bytes end before the location starts.
    return prefix.startswith(MAGIC) or _plausible_path(peek.location.split(b"\0", 1)[0])


def read_header(head: bytes, file_size: int) -> Header:
    """The header at the start of `head`, checked to be self-consistent: SyntaxError
    for bytes that are no animation. `file_size` is the whole file's."""
    peek = _native.peek_header(head)
    if not MIN_LOCATION_SIZE <= peek.location_size <= MAX_LOCATION_SIZE:
        raise SyntaxError(f"a palette location of {peek.location_size} bytes")
    if len(peek.location) < peek.location_size or b"\0" not in peek.location:
        raise SyntaxError("the palette location is not NUL-terminated")
    location = peek.location.split(b"\0", 1)[0]
    if not _names_a_file(location):
        raise SyntaxError("the palette location names no file")
    if not peek.file_complete:
        raise SyntaxError("the file ends within the header")
    count = peek.frame_count + peek.background
    # Every frame takes bytes of its own: a larger count is no count.
    if count > file_size:
        raise SyntaxError(f"a frame count of {count} in a file of {file_size} bytes")
    # A file that ends within the first frame reads as if zeros followed, as the core reads it.
    first = peek.first_frame
    return Header(peek.background, peek.speed, location, count,
                  (first.width, first.height, first.x_offset, first.y_offset, first.shadow))


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


class OrvImageFile(ImageFile.ImageFile):
    format = "ORV"
    format_description = "Quorl animation"

    def _open(self) -> None:
        head = self.fp.read(MAX_HEADER_SIZE)
        file_size = self.fp.seek(0, os.SEEK_END)
        header = read_header(head, file_size)
        # From here on the file is an animation: failures say what is wrong with it.
        self._path = os.path.abspath(_file_name(self.fp, self.filename))
        if header.frame_count == 0:
            raise OSError(f"{self._path}: the animation holds no frames")
        width, height, x_offset, y_offset, shadow = header.first_frame
        if width == 0 or height == 0:
            # Pillow opens no image whose first frame has no pixels.
            raise OSError(f"{self._path}: frame 0 is {width}x{height}, and Pillow opens no file whose first image "
                          "is empty")
        try:
            self._palette_path = _native.find_palette(self._path, header.location)
        except RuntimeError as error:
            raise OSError(f"{self._path}: cannot search for its palette: {error}") from None
        if not self._palette_path:
            raise OSError(f"{self._path}: its palette {os.fsdecode(header.location)!r} is not found in "
                          f"{os.path.dirname(self._path)} or any folder above it")

        self._header = header
        self._loaded = None  # the core's load, made once on the first load() or seek()
        self._frame = 0
        self.n_frames = header.frame_count
        self.is_animated = self.n_frames > 1
        self._mode = "RGBA"
        self._size = (width, height)
        self.info.update(speed=header.speed, palette_file=self._palette_path)
        self._set_frame_info(0, (x_offset, y_offset), shadow)
        # Not read from the file by Pillow: load() takes the core's pixels instead.
        self.tile = [("raw", (0, 0) + self.size, 0, ("RGBA", 0, 1))]

    def _set_frame_info(self, index: int, offset: tuple[int, int], shadow: bool) -> None:
        self.info.update(offset=offset, shadow=shadow,
                         background=self._header.background and index == self.n_frames - 1)

    def _load_animation(self):
        if self._loaded is not None:
            return self._loaded
        try:
            loaded = _native.load(self._path, palette=self._palette_path)
        except (ValueError, RuntimeError) as error:
            raise OSError(f"{self._path}: {error}") from None
        problems = [problem.message for problem in loaded.problems]
        if not loaded.opened:
            raise OSError(f"{self._path}: cannot be opened")
        if len(loaded.images) != self.n_frames:
            if problems:
                raise OSError(f"{self._path}: " + "; ".join(problems))
            raise OSError(f"{self._path}: the file changed since it was opened")
        if problems and not ImageFile.LOAD_TRUNCATED_IMAGES:
            raise OSError(f"{self._path}: " + "; ".join(problems))
        first = loaded.data.frames[0]
        if (first.width, first.height) != self._header.first_frame[:2]:
            raise OSError(f"{self._path}: the file changed since it was opened")
        self._loaded = loaded
        if self._exclusive_fp and self.fp is not None:
            self.fp.close()  # everything is in memory now, whatever frame comes next
        self.fp = None
        return loaded

    def seek(self, frame: int) -> None:
        if not self._seek_check(frame):
            return
        stored = self._load_animation().data.frames[frame]
        # Pillow checks the size of the first frame only, as it opens the file.
        Image._decompression_bomb_check((stored.width, stored.height))
        self._frame = frame
        self._im = None
        self._size = (stored.width, stored.height)
        self._set_frame_info(frame, (stored.x_offset, stored.y_offset), bool(stored.is_shadow))
        self.tile = [("raw", (0, 0) + self.size, 0, ("RGBA", 0, 1))]

    def tell(self) -> int:
        return self._frame

    def load(self):
        if self.tile:
            rendered = self._load_animation().images[self._frame]
            pixels = rendered.pixels
            if len(pixels) == self.size[0] * self.size[1] * 4:
                self.im = Image.frombytes("RGBA", self.size, pixels).im
            else:
                # A frame the core could not draw, kept only with LOAD_TRUNCATED_IMAGES.
                self.im = Image.new("RGBA", self.size).im
            self.tile = []
        return Image.Image.load(self)


Image.register_open(OrvImageFile.format, OrvImageFile, _accept)
Image.register_extension(OrvImageFile.format, ".orv")
