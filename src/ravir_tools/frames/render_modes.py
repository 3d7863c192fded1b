"""An animation's frames as render writes them, in either of its two modes: RGBA,
as the renderer drew them, or indexed, as the indices they draw (indexed.py). Each
gives every frame's image (with its gap index and gap mask), the sheet of all of
them, and the indices of every frame, which the GIF preview draws."""

from __future__ import annotations

from PIL import Image

from ravir_tools.animation import Animation
from ravir_tools.frames import indexed, sheet_layout
from ravir_tools.frames.images import rgba_image, scaled
from ravir_tools.frames.sheet_layout import SheetLayout
from ravir_tools.palettes.colors import colors_of

# A frame's or a sheet's image, its gap index and its gap mask (both None in RGBA).
Drawn = tuple[Image.Image, int | None, Image.Image | None]


class RgbaFrames:
    """The frames as the renderer drew them: the palette's own colors, alpha included."""

    def __init__(self, anim: Animation, scale: int):
        self.anim = anim
        self.images = [rgba_image(frame, scale) for frame in anim.images]

    def frame(self, index: int) -> Drawn:
        return self.images[index], None, None

    def sheet(self, layout: SheetLayout) -> tuple[Drawn, list[tuple[int, int]]]:
        """The sheet and each frame's corner on it."""
        size, corners = sheet_layout.layout([image.size for image in self.images], layout)
        return (sheet_layout.compose(Image.new("RGBA", size), self.images, corners), None, None), corners

    def frame_pixels(self) -> list[indexed.FramePixels]:
        return [indexed.frame_pixels(self.anim.data, i) for i in range(len(self.anim.frames))]


class IndexedFrames:
    """The frames as the indices they draw."""

    def __init__(self, anim: Animation, scale: int):
        self.anim, self.scale = anim, scale
        self.colors = colors_of(anim.data.palette)
        self.shadow_index = indexed.darkest(self.colors)
        self.pixels = [indexed.frame_pixels(anim.data, i) for i in range(len(anim.frames))]

    def image(self, frame: indexed.FramePixels, gap: int | None) -> Image.Image:
        return scaled(indexed.indexed_image(frame, self.colors, gap, self.shadow_index), self.scale)

    def frame(self, index: int) -> Drawn:
        frame = self.pixels[index]
        gap, needs_mask = indexed.choose_gap(indexed.used_counts([frame], self.shadow_index), frame.has_gaps)
        size = (frame.width * self.scale, frame.height * self.scale)
        mask = self.mask([frame], [(0, 0)], size) if needs_mask else None
        return self.image(frame, gap), gap, mask

    def mask(self, frames: list[indexed.FramePixels], corners: list[tuple[int, int]],
             size: tuple[int, int]) -> Image.Image:
        masks = [scaled(indexed.drawn_mask(frame), self.scale) for frame in frames]
        return sheet_layout.compose(Image.new("L", size), masks, corners).convert("1", dither=Image.Dither.NONE)

    def sheet(self, layout: SheetLayout) -> tuple[Drawn, list[tuple[int, int]]]:
        drawn = [i for i, frame in enumerate(self.pixels) if frame.width and frame.height]
        gap, needs_mask = indexed.choose_gap(indexed.used_counts([self.pixels[i] for i in drawn], self.shadow_index),
                                             True)
        images = [self.image(frame, gap) if i in drawn else Image.new("P", (0, 0))
                  for i, frame in enumerate(self.pixels)]
        size, corners = sheet_layout.layout([image.size for image in images], layout)
        image = sheet_layout.compose(indexed.blank_indexed(size, self.colors, gap), images, corners)
        mask = None
        if needs_mask:
            mask = self.mask([self.pixels[i] for i in drawn], [corners[i] for i in drawn], size)
        return (image, gap, mask), corners

    def frame_pixels(self) -> list[indexed.FramePixels]:
        return self.pixels
