"""The yardstick: animation files read and rendered in plain Python.

Written the way a user without ravir would write it, with `struct` and loops and
no tricks, so that the benchmark can say how much ravir saves them. It handles the
files the benchmark generates (and any well-formed file), not broken ones.
"""

import os
import struct


def load_palette(path):
    with open(path, "rb") as f:
        data = f.read()
    count, _model = struct.unpack_from("<HH", data, 0)
    colors = []
    for i in range(count):
        colors.append(data[4 + i * 4 : 8 + i * 4])
    while len(colors) < 256:
        colors.append(bytes((0, 0, 0, 255)))
    return colors


def find_palette(anim_path, location):
    folder = os.path.dirname(anim_path)
    while folder:
        candidate = os.path.join(folder, location)
        if os.path.exists(candidate):
            return os.path.realpath(candidate)
        parent = os.path.dirname(folder)
        if parent == folder:
            break
        folder = parent
    return None


def read_frame(data, pos, shadow_mode):
    frame_size, height_word, width, y_offset, x_offset, unk1, unk2 = struct.unpack_from("<IHHhhBB", data, pos)
    pos += 14
    is_shadow = bool(height_word & 0x8000)
    if is_shadow:
        shadow_mode = True
    height = height_word & 0xFF if shadow_mode else height_word
    rows = []
    for _ in range(height):
        block_count = data[pos]
        pos += 1
        blocks = []
        for _ in range(block_count):
            offset, color_count = struct.unpack_from("<BB", data, pos)
            pos += 2
            colors = []
            if not is_shadow:
                colors = list(data[pos : pos + color_count])
                pos += color_count
            blocks.append((offset, color_count, colors))
        rows.append(blocks)
    frame = {"width": width, "height": height, "x_offset": x_offset, "y_offset": y_offset,
             "is_shadow": is_shadow, "rows": rows}
    return frame, pos, shadow_mode


def render_frame(frame, palette):
    width = frame["width"]
    pixels = bytearray(width * frame["height"] * 4)
    for y, blocks in enumerate(frame["rows"]):
        x = 0
        for offset, color_count, colors in blocks:
            x += offset
            if frame["is_shadow"]:
                for _ in range(color_count):
                    if x >= width:
                        break
                    p = (y * width + x) * 4
                    pixels[p : p + 4] = b"\x00\x00\x00\xff"
                    x += 1
            else:
                for c in colors:
                    if x >= width:
                        break
                    p = (y * width + x) * 4
                    pixels[p : p + 4] = palette[c]
                    x += 1
    return bytes(pixels)


def load(path):
    """Returns the rendered frames of an animation file as (width, height, RGBA bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    pos = 0
    has_background = False
    if data[:4] == b"FATZ":
        has_background = data[8] != 0
        pos = 9
    _speed, location_size = struct.unpack_from("<II", data, pos)
    pos += 8
    location = data[pos : pos + location_size].split(b"\0")[0].decode()
    pos += location_size
    (frame_count,) = struct.unpack_from("<I", data, pos)
    pos += 4
    if has_background:
        frame_count += 1
    palette = load_palette(find_palette(path, location))

    frames = []
    shadow_mode = False
    for _ in range(frame_count):
        frame, pos, shadow_mode = read_frame(data, pos, shadow_mode)
        frames.append(frame)
    return [(f["width"], f["height"], render_frame(f, palette)) for f in frames]
