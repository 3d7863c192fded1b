"""Builds the demo's sample: a bouncing orb with its shadow and a background, and
the palette it is drawn with. Writes examples/sample/, or the folder given.

    python examples/make_sample.py [OUTPUT_DIR]
"""

import math
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))  # the tests' file builders, shared with this script

from tests.support.orv_bytes import Frame, animation_bytes, palette_bytes  # noqa: E402

SKY, GROUND, ORB = 0, 64, 128  # first palette index of each 64-color ramp
ORB_SIZE = 24
FRAMES = 8


def palette():
    def ramp(start, end):
        return [tuple(round(a + (b - a) * i / 63) for a, b in zip(start, end)) + (255,) for i in range(64)]

    return (ramp((40, 70, 160), (170, 210, 250))  # sky, top to horizon
            + ramp((30, 90, 30), (120, 170, 70))  # ground
            + ramp((60, 10, 20), (255, 200, 160))  # orb, dark to lit
            + ramp((0, 0, 0), (255, 255, 255)))  # grays


def runs(pixels):
    """One row of palette indices (None for transparent) as (offset, indices) runs,
    split where a gap or a run is longer than a byte can count."""
    out, gap, x = [], 0, 0
    while x < len(pixels):
        if pixels[x] is None:
            gap, x = gap + 1, x + 1
            continue
        if gap > 255:
            out.append((255, []))
            gap -= 255
            continue
        end = x
        while end < len(pixels) and pixels[end] is not None and end - x < 255:
            end += 1
        out.append((gap, list(pixels[x:end])))
        gap, x = 0, end
    return out


def orb(step):
    """The orb lit from a direction that circles once over the animation."""
    angle = 2 * math.pi * step / FRAMES
    light = (math.cos(angle) * 0.6, -0.5, 0.62)
    radius = ORB_SIZE / 2 - 1
    rows = []
    for y in range(ORB_SIZE):
        row = []
        for x in range(ORB_SIZE):
            dx, dy = (x + 0.5 - ORB_SIZE / 2) / radius, (y + 0.5 - ORB_SIZE / 2) / radius
            if dx * dx + dy * dy > 1:
                row.append(None)
                continue
            dz = math.sqrt(1 - dx * dx - dy * dy)
            lit = max(0.0, dx * light[0] + dy * light[1] + dz * light[2])
            row.append(ORB + min(63, int(8 + lit * 56)))
        rows.append(runs(row))
    bounce = round(abs(math.sin(math.pi * step / FRAMES)) * 18)
    return Frame(width=ORB_SIZE, rows=rows, x_offset=-ORB_SIZE // 2, y_offset=-ORB_SIZE - bounce,
                 frame_size=step)


def shadow():
    width, height = 20, 6
    rows = []
    for y in range(height):
        half = width / 2 * math.sqrt(max(0.0, 1 - ((y + 0.5 - height / 2) / (height / 2)) ** 2))
        start = round(width / 2 - half)
        rows.append([(start, round(2 * half))] if half >= 1 else [])
    return Frame(width=width, rows=rows, shadow=True, x_offset=-width // 2, y_offset=-height // 2)


def background():
    width, height, horizon = 96, 64, 40
    rows = []
    for y in range(height):
        if y < horizon:
            index = SKY + y * 63 // (horizon - 1)
            rows.append(runs([index] * width))
        else:
            rows.append(runs([GROUND + (x * 7 + y * 13) % 9 + (y - horizon) * 2 for x in range(width)]))
    return Frame(width=width, rows=rows, x_offset=-48, y_offset=-48)


def main(out):
    (out / "pal").mkdir(parents=True, exist_ok=True)
    (out / "anim").mkdir(parents=True, exist_ok=True)
    (out / "pal" / "orb.pal").write_bytes(palette_bytes(palette()))
    frames = [orb(step) for step in range(FRAMES)] + [shadow(), background()]
    (out / "anim" / "orb.orv").write_bytes(
        animation_bytes(frames, location="pal/orb.pal", speed=80, background=1))
    print(f"wrote {out / 'anim' / 'orb.orv'} and {out / 'pal' / 'orb.pal'}")


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else HERE / "sample")
