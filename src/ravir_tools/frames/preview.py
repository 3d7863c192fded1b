"""Animated previews: every frame drawn on one canvas, aligned by its offsets.

The convention: a frame's offsets place its top-left corner relative to a common
origin, so pixel (x, y) of a frame lands at (offset_x + x, offset_y + y). With the
sign flipped, the offsets give the origin's place inside the frame instead (a hot
spot), and pixel (x, y) lands at (x - offset_x, y - offset_y). The canvas is the
smallest rectangle that holds every frame so placed. An animation with a background
shows it behind each of its other frames."""

from __future__ import annotations

from PIL import Image

from ravir_tools import atomic_file


def placement(sizes: list[tuple[int, int]], frames: list, scale: int,
              flip: bool) -> tuple[tuple[int, int], list[tuple[int, int] | None]] | None:
    """The canvas's size and each frame's top-left corner on it (None for a frame of
    size 0), or None when no frame has pixels. `sizes` are the frames' images' sizes."""
    sign = -1 if flip else 1
    corners = [(sign * f.x_offset * scale, sign * f.y_offset * scale) for f in frames]
    drawn = {i for i, (width, height) in enumerate(sizes) if width and height}
    if not drawn:
        return None
    left = min(corners[i][0] for i in drawn)
    top = min(corners[i][1] for i in drawn)
    right = max(corners[i][0] + sizes[i][0] for i in drawn)
    bottom = max(corners[i][1] + sizes[i][1] for i in drawn)
    placed = [(x - left, y - top) if i in drawn else None for i, (x, y) in enumerate(corners)]
    return (right - left, bottom - top), placed


def sequence(count: int, background: bool) -> tuple[range, int | None]:
    """The frames shown one after another, and the frame drawn behind each of them."""
    if background and count > 1:
        return range(count - 1), count - 1
    return range(count), None


def canvases(images: list[Image.Image], frames: list, background: bool, scale: int,
             flip: bool) -> list[Image.Image]:
    layout = placement([image.size for image in images], frames, scale, flip)
    if layout is None:
        return []
    size, corners = layout

    def place(canvas: Image.Image, i: int) -> None:
        if corners[i] is not None:
            canvas.alpha_composite(images[i], corners[i])

    shown, behind = sequence(len(images), background)
    result = []
    for i in shown:
        canvas = Image.new("RGBA", size)
        if behind is not None:
            place(canvas, behind)
        place(canvas, i)
        result.append(canvas)
    return result


def exact_palette(frames: list[Image.Image]) -> list[Image.Image] | None:
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
    exact = exact_palette(frames)
    if exact is not None:
        frames = exact
        options.update(transparency=len(exact[0].getpalette()) // 3 - 1, optimize=False)
    atomic_file.write_image(path, frames[0], format="GIF", append_images=frames[1:], **options)


def save_apng(path, frames: list[Image.Image], duration: int) -> None:
    # Each canvas is whole, so it replaces the one before instead of blending over it.
    atomic_file.write_image(path, frames[0], format="PNG", save_all=True, append_images=frames[1:],
                            duration=duration, loop=0, disposal=1, blend=0)
