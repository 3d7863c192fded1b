"""Each frame's pixels read back from the image that holds it, as palette indices
and a mask of drawn pixels for the animation writer.

An indexed image in the animation's palette gives its indices as they are. Any
other image is read by color (color_lookup.py): against the frame as it was rendered
when the source animation is still as it was, so that only pixels whose color
changed are looked up, otherwise every pixel."""

from __future__ import annotations

from pathlib import Path

from PIL import Image

from ravir_tools import animation, limits
from ravir_tools.errors import ToolError
from ravir_tools.exchange.manifest import FrameEntry, Manifest, digest
from ravir_tools.frames import indexed
from ravir_tools.frames.color_lookup import BadColor, Indexed, PaletteIndex, from_indices
from ravir_tools.frames.images import loaded, open_image, rgba_image
from ravir_tools.palettes.registry import Palette

def transparent_index(image: Image.Image) -> int | None:
    """The first index an indexed image shows fully transparent, if any."""
    found = image.info.get("transparency") if image.mode == "P" else None
    if isinstance(found, bytes):  # a whole tRNS chunk
        found = found.find(0) if 0 in found else None
    return found if isinstance(found, int) and found in range(256) else None


class Images:
    """Opens each image once: a sheet serves all its frames in a row."""

    def __init__(self, limit: limits.PixelLimit, warn):
        self.limit, self.warn = limit, warn
        self.path: Path | None = None
        self.image: Image.Image | None = None

    def get(self, path: Path, check) -> Image.Image:
        """The image at `path`, read in full once `check` has accepted its size."""
        if path != self.path:
            self.path, self.image = None, None
            image = open_image(path, self.limit, self.warn)
            check(image)
            self.path, self.image = path, loaded(image, path)
        return self.image


class Originals:
    """The frames of the animation a manifest was rendered from, as they were
    rendered, when that file is still the one the manifest names."""

    def __init__(self, described: Manifest, palette: Palette, warn):
        self.path, self.source, self.sha256 = described.path, described.source, described.source_sha256
        self.render, self.palette, self.warn = described.render, palette, warn
        self.anim: animation.Animation | None = None
        self.tried = False

    def loaded(self) -> animation.Animation | None:
        if not self.tried:
            self.tried = True
            self.anim = self.load()
        return self.anim

    def load(self) -> animation.Animation | None:
        why = None
        if self.source is None:
            why = "the manifest names no source animation"
        elif not self.source.is_file():
            why = f"its source {self.source} is gone"
        elif self.sha256 is not None and digest(self.source) != self.sha256:
            why = f"its source {self.source} has changed since the render"
        if why is None:
            try:
                anim = animation.load(self.source, self.palette)
                if not anim.palette_error:
                    return anim
                why = anim.palette_error
            except ToolError as error:
                why = str(error)
        self.warn(self.path, f"{why}: pixels in color are all matched against the palette")
        return None

    def frame(self, number: int, entry: FrameEntry) -> tuple[Indexed, Image.Image] | None:
        """Frame `number` as indices and as the image a render showed, or None."""
        anim = self.loaded()
        if anim is None or number >= len(anim.images):
            return None
        pixels = indexed.frame_pixels(anim.data, number)
        if (pixels.width, pixels.height) != (entry.width, entry.height):
            return None
        original = Indexed(pixels.width, pixels.height, pixels.indices, pixels.drawn)
        if self.render == "indexed":
            colors = self.palette.colors
            image = indexed.indexed_image(pixels, colors, entry.gap_index, indexed.darkest(colors))
            return original, indexed.shown_rgba(image, entry.gap_index)
        return original, rgba_image(anim.images[number])


class FrameReader:
    """Reads frames for one animation: its palette, how to match colors, and the
    rendered originals (None when reading PNGs without a manifest)."""

    def __init__(self, palette: Palette, nearest: bool, scale: int, originals: Originals | None, warn,
                 limit: limits.PixelLimit):
        self.palette, self.scale, self.originals, self.warn = palette, scale, originals, warn
        self.indexes = {space: PaletteIndex(palette.colors, nearest, space) for space in ("rgba", "indexed")}
        self.images = Images(limit, warn)
        self.warned_repeats = False

    def read(self, number: int, entry: FrameEntry) -> Indexed:
        if entry.pixels is not None:
            pixels = entry.pixels
            return Indexed(pixels.width, pixels.height, bytes(len(pixels.indices)) if entry.shadow else pixels.indices,
                           pixels.opaque)
        if entry.image is None:
            return Indexed(entry.width, entry.height, b"", b"")
        image = self.region(self.images.get(entry.image, lambda found: self.check_size(found, entry.image, entry)),
                            entry)
        if image.mode == "P" and self.same_palette(image, entry):
            mask = self.region(self.read_mask(entry), entry) if entry.mask else None
            # A frame rendered in RGBA has no gap index; an image indexed since says its own.
            gap = entry.gap_index if entry.render == "indexed" else transparent_index(image)
            return from_indices(image, gap, mask, entry.shadow)
        index = self.indexes[entry.render or "rgba"]
        try:
            original = self.originals.frame(number, entry) if self.originals else None
            if original is None:
                self.warn_repeats(index)
                return index.index(image, entry.shadow)
            result, ambiguous = index.changes(image, original[1], original[0], entry.shadow)
        except BadColor as error:
            raise ToolError(entry.image, f"{error} {self.palette.path} (try --nearest)") from None
        if ambiguous:
            self.warn(entry.image, f"{ambiguous} changed pixels have colors that several palette entries "
                                   "share: each took the first of them")
        return result

    def check_size(self, image: Image.Image, path: Path, entry: FrameEntry) -> None:
        """A frame's own image has its size; a sheet holds the frame's rectangle."""
        size = (entry.width * self.scale, entry.height * self.scale)
        x, y = entry.corner
        if entry.name is None and image.size != size:
            raise ToolError(path, f"is {image.width}x{image.height}, but its frame is {size[0]}x{size[1]}")
        if x + size[0] > image.width or y + size[1] > image.height:
            raise ToolError(path, f"is {image.width}x{image.height}, too small to hold frame {entry.name!r} of "
                                  f"{size[0]}x{size[1]} at ({x}, {y})")

    def region(self, image: Image.Image, entry: FrameEntry) -> Image.Image:
        """The frame's part of `image` at the frame's own size."""
        size = (entry.width * self.scale, entry.height * self.scale)
        x, y = entry.corner
        if image.size != size:
            image = image.crop((x, y, x + size[0], y + size[1]))
        if self.scale != 1:
            image = image.resize((entry.width, entry.height), Image.Resampling.NEAREST)
        return image

    def read_mask(self, entry: FrameEntry) -> Image.Image:
        # Read on its own, so that it does not evict a sheet from the cache.
        with open_image(entry.mask, self.images.limit) as mask:
            self.check_size(mask, entry.mask, entry)
            return loaded(mask, entry.mask).convert("L")

    def same_palette(self, image: Image.Image, entry: FrameEntry) -> bool:
        """Whether an indexed image's palette is the animation's. An image that a
        render wrote (`entry.render` set) must be in it; any other indexed image
        that is not is read by color."""
        colors = image.getpalette("RGB") or []
        count = len(colors) // 3
        wanted = b"".join(bytes(color[:3]) for color in self.palette.colors[:count])
        if bytes(colors) == wanted and (count == 256 or max(image.tobytes(), default=0) < count):
            return True
        if entry.render is None:
            return False
        for index in range(count):
            if bytes(colors[3 * index:3 * index + 3]) != wanted[3 * index:3 * index + 3]:
                found = bytes(colors[3 * index:3 * index + 3]).hex()
                raise ToolError(entry.image, f"is indexed with another palette than {self.palette.path}: its "
                                             f"entry {index} is #{found}, not #{wanted[3 * index:3 * index + 3].hex()}")
        raise ToolError(entry.image, f"uses indices beyond the {count} colors of its palette")

    def warn_repeats(self, index: PaletteIndex) -> None:
        if index.repeated and not self.warned_repeats:
            self.warned_repeats = True
            self.warn(self.palette.path, "the palette repeats colors: each pixel in color takes the first entry "
                                         "of its color, which may not be the index it had")
