"""Animated previews: every frame drawn on one canvas, aligned by its offsets.

The convention: a frame's offsets place its top-left corner relative to a common
origin, so pixel (x, y) of a frame lands at (offset_x + x, offset_y + y). With the
sign flipped, the offsets give the origin's place inside the frame instead (a hot
spot), and pixel (x, y) lands at (x - offset_x, y - offset_y). The canvas is the
smallest rectangle that holds every frame so placed. An animation with a background
shows it behind each of its other frames."""

from __future__ import annotations

from PIL import Image

from ravir_tools.images import save_image


def canvases(images: list[Image.Image], frames: list, background: bool, scale: int,
             flip: bool) -> list[Image.Image]:
    sign = -1 if flip else 1
    corners = [(sign * f.x_offset * scale, sign * f.y_offset * scale) for f in frames]
    drawn = [i for i, image in enumerate(images) if image.width and image.height]
    if not drawn:
        return []
    left = min(corners[i][0] for i in drawn)
    top = min(corners[i][1] for i in drawn)
    right = max(corners[i][0] + images[i].width for i in drawn)
    bottom = max(corners[i][1] + images[i].height for i in drawn)

    def place(canvas: Image.Image, i: int) -> None:
        if i in drawn:
            canvas.alpha_composite(images[i], (corners[i][0] - left, corners[i][1] - top))

    shown = range(len(images) - 1) if background and len(images) > 1 else range(len(images))
    result = []
    for i in shown:
        canvas = Image.new("RGBA", (right - left, bottom - top))
        if background and i != len(images) - 1:
            place(canvas, len(images) - 1)
        place(canvas, i)
        result.append(canvas)
    return result


def paletted(frames: list[Image.Image]) -> list[Image.Image] | None:
    """The frames in one shared palette of their exact colors plus one index for the
    gaps, when they hold at most 255 colors; None otherwise. (Pillow's own conversion
    approximates colors even then.) GIF has no partial alpha: every pixel that is not
    fully transparent is drawn opaque."""
    pixels = []
    for frame in frames:
        rgb = frame.convert("RGB").tobytes()
        pixels.append(list(zip((rgb[i:i + 3] for i in range(0, len(rgb), 3)), frame.getchannel("A").tobytes())))
    colors = sorted({color for frame in pixels for color, alpha in frame if alpha})
    if len(colors) > 255:
        return None
    index = {color: i for i, color in enumerate(colors)}
    clear = len(colors)
    result = []
    for frame, image in zip(pixels, frames):
        indexed = Image.frombytes("P", image.size, bytes(index[c] if a else clear for c, a in frame))
        indexed.putpalette(b"".join(colors) + bytes(3))
        result.append(indexed)
    return result


def save_gif(path, frames: list[Image.Image], duration: int) -> None:
    options = {"save_all": True, "duration": duration, "loop": 0, "disposal": 2}
    exact = paletted(frames)
    if exact is not None:
        frames = exact
        options.update(transparency=len(exact[0].getpalette()) // 3 - 1, optimize=False)
    save_image(frames[0], path, format="GIF", append_images=frames[1:], **options)


def save_apng(path, frames: list[Image.Image], duration: int) -> None:
    # Each canvas is whole, so it replaces the one before instead of blending over it.
    save_image(frames[0], path, format="PNG", save_all=True, append_images=frames[1:], duration=duration,
                     loop=0, disposal=1, blend=0)
