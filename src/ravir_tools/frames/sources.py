"""Each frame's pixels read back from the image that holds it, as palette indices
and a mask of drawn pixels for the animation writer.

An indexed image in the animation's palette (or the one its frames were drawn with)
gives its indices as they are. Any other image is read by color (color_lookup.py),
indexed ones too, since editors rewrite palettes: against the frame as it was
rendered when the source animation is still as it was, so that only pixels whose
color changed are looked up, otherwise every pixel. A render enlarged N times is
read block by block (blocks.py)."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

from PIL import Image

from ravir_tools import animation, limits
from ravir_tools.errors import ToolError
from ravir_tools.exchange.manifest import FrameEntry, Manifest, digest
from ravir_tools.frames import indexed
from ravir_tools.frames.blocks import MixedBlock, reduced
from ravir_tools.frames.color_lookup import BadColor, Indexed, PaletteIndex, from_indices
from ravir_tools.frames.images import fitted_image, loaded, open_image, rgba_image
from ravir_tools.palettes.colors import rgb_bytes
from ravir_tools.palettes.registry import Palette


def transparent_index(image: Image.Image) -> int | None:
    """The first index an indexed image shows fully transparent, if any."""
    found = alphas(image).find(0)
    return found if found >= 0 else None


def alphas(image: Image.Image) -> bytes:
    """The alpha of each of the 256 entries of an indexed image's palette (its tRNS)."""
    found = image.info.get("transparency")
    if isinstance(found, bytes):  # a whole tRNS chunk
        return found[:256].ljust(256, b"\xff")
    return gap_alphas(found if isinstance(found, int) and found in range(256) else None)


def as_indices(image: Image.Image) -> Image.Image:
    """An indexed image's indices as a grayscale image, to compare them as numbers."""
    return Image.frombytes("L", image.size, image.tobytes())


def gap_alphas(gap: int | None) -> bytes:
    """The alphas of a palette whose only transparent entry is `gap`, as a render writes it."""
    found = bytearray(b"\xff" * 256)
    if gap is not None:
        found[gap] = 0
    return bytes(found)


def in_palette(image: Image.Image, palette: bytes) -> bool:
    """Whether an indexed image's palette is `palette` (rgb_bytes) as far as it goes,
    alpha aside, and its indices stay within it."""
    colors = bytes(image.getpalette("RGB") or [])
    count = len(colors) // 3
    return palette.startswith(colors) and (count == 256 or max(image.tobytes(), default=0) < count)


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


@dataclass
class Original:
    """A frame as its source animation draws it, at the size it is read at."""

    pixels: indexed.FramePixels
    shown: Image.Image  # RGBA, as the render showed it

    @property
    def as_indexed(self) -> Indexed:
        return Indexed(self.pixels.width, self.pixels.height, self.pixels.indices, self.pixels.drawn)


class Originals:
    """The frames of the animation a manifest was rendered from, as they were
    rendered, when that file is still the one the manifest names."""

    def __init__(self, described: Manifest, palette: Palette, warn):
        self.path, self.source, self.sha256 = described.path, described.source, described.source_sha256
        self.render, self.palette, self.warn = described.render, palette, warn
        self.shadow_index = indexed.darkest(palette.colors)
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

    def frame(self, number: int, entry: FrameEntry) -> Original | None:
        """Frame `number` at the size of `entry` (cut or grown from its top-left
        corner, when its image was resized), or None."""
        anim = self.loaded()
        if anim is None or number >= len(anim.images):
            return None
        pixels = indexed.fitted(indexed.frame_pixels(anim.data, number), entry.width, entry.height)
        if self.render == "indexed":
            return Original(pixels, indexed.shown_rgba(self.written(pixels, entry.gap_index), entry.gap_index))
        return Original(pixels, fitted_image(rgba_image(anim.images[number]), (entry.width, entry.height)))

    def written(self, pixels: indexed.FramePixels, gap: int | None) -> Image.Image:
        """The indexed image of the frame, as an indexed render writes it with `gap`."""
        return indexed.indexed_image(pixels, self.palette.colors, gap, self.shadow_index)


class FrameReader:
    """Reads frames for one animation: the palettes whose indexed images give their
    indices (the first, the one the frames were drawn with, is the one colors are
    matched against), how to match colors, and the rendered originals (None when
    reading PNGs without a manifest)."""

    def __init__(self, palettes: list[Palette], nearest: bool, scale: int, originals: Originals | None, warn,
                 limit: limits.PixelLimit):
        self.palette, self.scale, self.originals, self.warn = palettes[0], scale, originals, warn
        self.palettes = {rgb_bytes(palette.colors) for palette in palettes}
        self.indexes = {space: PaletteIndex(self.palette.colors, nearest, space) for space in ("rgba", "indexed")}
        self.images = Images(limit, warn)
        self.warned_repeats = False
        self.repaletted: list[Path] = []  # indexed images read by color, as their palette is another

    def read(self, number: int, entry: FrameEntry) -> Indexed:
        if entry.pixels is not None:
            pixels = entry.pixels
            return Indexed(pixels.width, pixels.height, bytes(len(pixels.indices)) if entry.shadow else pixels.indices,
                           pixels.opaque)
        if entry.image is None:
            return Indexed(entry.width, entry.height, b"", b"")
        image = self.region(self.images.get(entry.image, lambda found: self.check_size(found, entry.image, entry)),
                            entry)
        try:
            if image.mode == "P" and self.holds_indices(image, entry):
                return self.by_index(image, number, entry)
            if image.mode == "P" and entry.image not in self.repaletted:
                self.repaletted.append(entry.image)
            return self.by_color(image, number, entry)
        except MixedBlock as error:
            raise ToolError(entry.image, f"frame {number}: {error}") from None
        except BadColor as error:
            why = ", read by color as its own palette is another" if entry.image in self.repaletted else ""
            raise ToolError(entry.image, f"{error} {self.palette.path}{why} (try --nearest)") from None

    def original(self, number: int, entry: FrameEntry) -> Original | None:
        return self.originals.frame(number, entry) if self.originals else None

    def by_index(self, image: Image.Image, number: int, entry: FrameEntry) -> Indexed:
        # A frame rendered in RGBA has no gap index; an image indexed since says its own.
        gap = entry.gap_index if entry.render == "indexed" else transparent_index(image)
        indices = as_indices(image)
        if self.scale != 1:
            original = self.original(number, entry)
            written = as_indices(self.originals.written(original.pixels, gap)) if original else None
            indices = reduced(indices, self.scale, written)
        mask = self.read_mask(entry) if entry.mask else None
        return from_indices(indices, gap, mask, entry.shadow)

    def by_color(self, image: Image.Image, number: int, entry: FrameEntry) -> Indexed:
        original = self.original(number, entry)
        index = self.indexes[entry.render or "rgba"]
        shown = index.shown(image)
        if self.scale != 1:
            shown = reduced(shown, self.scale, index.shown(original.shown) if original else None)
        if original is None:
            self.warn_repeats(index)
            return index.index(shown, entry.shadow)
        result, ambiguous = index.changes(shown, original.shown, original.as_indexed, entry.shadow)
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
        """The frame's part of `image`, at its size times the scale."""
        size = (entry.width * self.scale, entry.height * self.scale)
        x, y = entry.corner
        return image if image.size == size else image.crop((x, y, x + size[0], y + size[1]))

    def read_mask(self, entry: FrameEntry) -> Image.Image:
        """The gap mask at the frame's size. A sheet's holds the frame's rectangle; a
        frame's own is taken from its top-left corner, like its resized image."""
        # Read on its own, so that it does not evict a sheet from the cache.
        with open_image(entry.mask, self.images.limit) as mask:
            if entry.name is not None:
                self.check_size(mask, entry.mask, entry)
            mask = loaded(mask, entry.mask).convert("L")
        if entry.name is None:
            mask = fitted_image(mask, (entry.width * self.scale, entry.height * self.scale))
        return self.region(mask, entry).resize((entry.width, entry.height), Image.Resampling.NEAREST)

    def holds_indices(self, image: Image.Image, entry: FrameEntry) -> bool:
        """Whether an indexed image holds its frame's indices as they are: its palette
        is one of the palettes, and in an image that a render wrote, all of it, with
        only the gap index transparent, as the render wrote it. Editors that rewrite
        the palette (GIMP moves the transparent entry to 0, ImageMagick keeps the
        colors used only) make an image that is read by color."""
        colors = bytes(image.getpalette("RGB") or [])
        if entry.render == "indexed":
            return colors in self.palettes and alphas(image) == gap_alphas(entry.gap_index)
        if entry.render is not None:
            return colors in self.palettes
        return any(in_palette(image, palette) for palette in self.palettes)

    def warn_repeats(self, index: PaletteIndex) -> None:
        if index.repeated and not self.warned_repeats:
            self.warned_repeats = True
            self.warn(self.palette.path, "the palette repeats colors: each pixel in color takes the first entry "
                                         "of its color, which may not be the index it had")
