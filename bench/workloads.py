"""The benchmark's workloads: animation and palette files built byte by byte.

Every file comes from a seeded generator, so each run measures the same bytes.

  sprites     one animation of 240 frames of about 200 x 200 pixels, about half of
              them opaque in runs of 1 to 40, and 24 shadow frames after them
  background  one animation whose background frame of 1024 x 768 is painted whole
              in runs of 255
  many        2,000 animations of 8 frames of 64 x 64 that share one palette
  pair        two animations like sprites with 120 frames each, for two threads
  large       two animations of 400 frames of 240 x 160, for two threads, each loaded
              into a fresh OrvF: large renders in fresh memory
"""

import random
import struct
from dataclasses import dataclass
from pathlib import Path

SEED = 20240611
PALETTE_LOCATION = "pal/game.pal"  # stored in every animation, relative to the root
SHADOW_BIT = 0x8000
MAX_RUN = 40
MAX_BLOCK = 255


@dataclass
class Workload:
    name: str
    root: Path  # the project root: the palette lies at root / PALETTE_LOCATION
    files: list  # the animation files, loaded in this order
    frames_per_file: int
    image_bytes_per_file: int  # RGBA bytes of all rendered frames of one file


def palette_bytes(rng):
    colors = bytearray(rng.randbytes(256 * 4))
    colors[3::4] = b"\xff" * 256  # alpha: opaque
    return struct.pack("<HH", 256, 0) + bytes(colors)


def encode_row(runs, shadow, rng):
    """A row record; `runs` is a list of (skip, length)."""
    row = bytearray(struct.pack("<B", len(runs)))
    for skip, length in runs:
        row += struct.pack("<BB", skip, length)
        if not shadow:
            row += rng.randbytes(length)
    return bytes(row)


def sprite_runs(width, rng):
    """Alternate transparent gaps and opaque runs of 1 to MAX_RUN pixels, cut at the width."""
    runs = []
    x = 0
    while True:
        skip = rng.randint(1, MAX_RUN)
        length = rng.randint(1, MAX_RUN)
        if x + skip >= width:
            return runs
        length = min(length, width - x - skip)
        runs.append((skip, length))
        x += skip + length


def full_runs(width):
    """The whole row painted, in runs of at most MAX_BLOCK pixels."""
    runs = []
    for x in range(0, width, MAX_BLOCK):
        runs.append((0, min(MAX_BLOCK, width - x)))
    return runs


def encode_frame(width, height, rows, shadow):
    height_word = (SHADOW_BIT | height) if shadow else height
    body = b"".join(rows)
    record_size = 14 + len(body)
    return struct.pack("<IHHhhBB", record_size, height_word, width, -height // 2, -width // 2, 0, 1) + body


def sprite_frame(width, height, shadow, rng):
    rows = [encode_row(sprite_runs(width, rng), shadow, rng) for _ in range(height)]
    return encode_frame(width, height, rows, shadow)


def animation_bytes(frames, background=None, speed=100):
    location = PALETTE_LOCATION.encode() + b"\0"
    head = b""
    if background is not None:
        head = b"FATZ" + struct.pack("<IB", 0, 1)
    head += struct.pack("<II", speed, len(location)) + location + struct.pack("<I", len(frames))
    return head + b"".join(frames) + (background or b"")


def write(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


def rgba_bytes(sizes):
    return sum(w * h * 4 for w, h in sizes)


def sprite_animation(path, rng, frames=240, shadows=24):
    """Frames of about 200 x 200 pixels, then shadow frames; returns their sizes."""
    sizes = [(rng.randint(192, 208), rng.randint(192, 208)) for _ in range(frames + shadows)]
    write(path, animation_bytes([sprite_frame(w, h, i >= frames, rng) for i, (w, h) in enumerate(sizes)]))
    return sizes


def make_sprites(root, rng):
    path = root / "anim" / "sprites.orv"
    sizes = sprite_animation(path, rng)
    return Workload("sprites", root, [path], len(sizes), rgba_bytes(sizes))


def make_pair(root, rng):
    paths = [root / "anim" / f"half{i}.orv" for i in range(2)]
    sizes = [sprite_animation(path, rng, frames=120, shadows=12) for path in paths]
    return Workload("pair", root, paths, len(sizes[0]), max(rgba_bytes(s) for s in sizes))


def make_large(root, rng, frames=400, size=(240, 160)):
    paths = [root / "anim" / f"large{i}.orv" for i in range(2)]
    for path in paths:
        write(path, animation_bytes([sprite_frame(*size, False, rng) for _ in range(frames)]))
    return Workload("large", root, paths, frames, rgba_bytes([size] * frames))


def make_background(root):
    width, height = 1024, 768
    rng = random.Random(SEED + 1)
    rows = [encode_row(full_runs(width), False, rng) for _ in range(height)]
    path = root / "anim" / "background.orv"
    write(path, animation_bytes([], background=encode_frame(width, height, rows, False)))
    return Workload("background", root, [path], 1, rgba_bytes([(width, height)]))


def make_many(root, rng, count=2000, frames_each=8, size=64):
    # A pool of encoded frames, combined differently in every file, keeps generation fast.
    pool = [sprite_frame(size, size, False, rng) for _ in range(64)]
    files = []
    for i in range(count):
        path = root / "anim" / f"{i // 100:02d}" / f"a{i:04d}.orv"
        write(path, animation_bytes(rng.choices(pool, k=frames_each)))
        files.append(path)
    return Workload("many", root, files, frames_each, rgba_bytes([(size, size)] * frames_each))


def generate(out_dir):
    """Writes every workload under `out_dir` and returns them by name."""
    rng = random.Random(SEED)
    workloads = {}
    for name, make in (
        ("sprites", lambda root: make_sprites(root, rng)),
        ("background", make_background),
        ("many", lambda root: make_many(root, rng)),
        ("pair", lambda root: make_pair(root, rng)),
        ("large", lambda root: make_large(root, rng)),
    ):
        root = Path(out_dir) / name
        write(root / PALETTE_LOCATION, palette_bytes(rng))
        workloads[name] = make(root)
    return workloads
