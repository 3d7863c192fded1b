"""A game-sized folder of animations for the end-to-end benchmark, built byte by
byte from a fixed seed like the other workloads.

  game   400 animations of 6 to 18 frames of 24 to 160 pixels a side, a few with
         shadow frames or a background, in 20 folders, sharing one palette
  tiny   N animations of one 8 x 8 frame, for the memory of very long runs
"""

import random
from pathlib import Path

import workloads

SEED = 20261208


def make_game(root: Path, count: int = 400) -> list[Path]:
    rng = random.Random(SEED)
    workloads.write(root / workloads.PALETTE_LOCATION, workloads.palette_bytes(rng))
    files = []
    for i in range(count):
        frames = []
        for _ in range(rng.randint(6, 18)):
            size = rng.randint(24, 160)
            frames.append(workloads.sprite_frame(size, rng.randint(24, 160), False, rng))
        shadows = [workloads.sprite_frame(rng.randint(24, 96), rng.randint(8, 40), True, rng)
                   for _ in range(rng.randint(0, 3) if i % 3 == 0 else 0)]
        background = (workloads.sprite_frame(rng.randint(160, 320), rng.randint(120, 240), False, rng)
                      if i % 17 == 0 else None)
        path = root / "anim" / f"set{i % 20:02d}" / f"unit{i:03d}.orv"
        workloads.write(path, workloads.animation_bytes(frames + shadows, background=background))
        files.append(path)
    return files


def make_tiny(root: Path, count: int) -> list[Path]:
    rng = random.Random(SEED + count)
    workloads.write(root / workloads.PALETTE_LOCATION, workloads.palette_bytes(rng))
    pool = [workloads.animation_bytes([workloads.sprite_frame(8, 8, False, rng)]) for _ in range(16)]
    files = []
    for i in range(count):
        path = root / "anim" / f"{i // 500:03d}" / f"t{i:05d}.orv"
        workloads.write(path, pool[i % len(pool)])
        files.append(path)
    return files
