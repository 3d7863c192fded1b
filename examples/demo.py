"""The ravir demo: load the sample animation, show what it holds, render it to PNGs,
recolor it through its palette, save it and read the saved file back.

    make demo            (or: python examples/demo.py [OUTPUT_DIR])
"""

import sys
import time
from pathlib import Path

from PIL import Image, ImageDraw

import ravir

HERE = Path(__file__).resolve().parent
SAMPLE = HERE / "sample" / "anim" / "orb.orv"


def to_image(frame):
    """An OrvFrameBufferObject as a Pillow RGBA image."""
    return Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels)


def contact_sheet(frames, title, columns=5):
    """All frames in a grid on a light backdrop (shadows are black), each labelled."""
    pad, label = 8, 14
    cell_w = max(f.width for f in frames) + pad
    cell_h = max(f.height for f in frames) + label + pad
    rows = -(-len(frames) // columns)
    size = (cell_w * min(columns, len(frames)) + pad, cell_h * rows + label + pad)
    sheet = Image.new("RGBA", size, (196, 196, 204, 255))
    draw = ImageDraw.Draw(sheet)
    draw.text((pad, 2), title, fill=(20, 20, 20, 255))
    for i, frame in enumerate(frames):
        x, y = pad + (i % columns) * cell_w, label + pad + (i // columns) * cell_h
        if frame.width and frame.height:
            sheet.alpha_composite(to_image(frame), (x, y))
        draw.text((x, y + frame.height + 1), f"#{i} {frame.width}x{frame.height}", fill=(20, 20, 20, 255))
    return sheet


def summary(f, data, seconds):
    palette = data.palette
    print(f"loaded {SAMPLE.relative_to(HERE.parent)} in {seconds * 1000:.2f} ms")
    print(f"  speed {data.info.speed}, {data.info.frame_count} frames, "
          f"background: {'yes (last frame)' if data.has_background else 'no'}")
    print(f"  palette location {palette.location()!r} ({palette.location_size()} bytes stored), "
          f"{len(palette.colors())} colors")
    print("  frame  size     offset      kind")
    for i, (frame, image) in enumerate(zip(data.frames, f.get_frame_buffer())):
        last = data.has_background and i == len(data.frames) - 1
        kind = "background" if last else "shadow" if frame.is_shadow else "sprite"
        print(f"  {i:>5}  {image.width:>3}x{image.height:<3}  {image.offset_x:>4},{image.offset_y:<4}  {kind}")


def recolor(palette):
    """Turns the orb's red ramp green and leaves every other color alone."""
    colors = palette.colors()
    ground = colors[64:128]
    palette.colors(colors[:128] + ground + colors[192:])


def main(out):
    frames_dir = out / "frames"
    frames_dir.mkdir(parents=True, exist_ok=True)

    f = ravir.OrvF()
    start = time.perf_counter()
    data = f.load(str(SAMPLE))
    seconds = time.perf_counter() - start
    if data is None:
        sys.exit("the sample did not load: run `python examples/make_sample.py` first")
    summary(f, data, seconds)

    frames = f.get_frame_buffer()
    for i, frame in enumerate(frames):
        if frame.width and frame.height:
            to_image(frame).save(frames_dir / f"frame_{i:02}.png")
    contact_sheet(frames, "orb.orv").save(out / "contact_sheet.png")

    recolor(data.palette)
    recolored = ravir.OrvFrameBuffer(data).get_buffer()
    contact_sheet(recolored, "orb.orv, recolored").save(out / "contact_sheet_recolored.png")

    saved = out / "saved"
    (saved / "anim").mkdir(parents=True, exist_ok=True)
    (saved / "pal").mkdir(parents=True, exist_ok=True)
    f.save(str(saved / "anim" / "orb.orv"), str(saved), str(saved / "pal" / "green.pal"))

    reread = ravir.OrvF()
    again = reread.load(str(saved / "anim" / "orb.orv"))
    same = again is not None and [x.pixels for x in reread.get_frame_buffer()] == [x.pixels for x in recolored]
    print(f"saved and read back {saved / 'anim' / 'orb.orv'} (palette {again.palette.location()!r}): "
          f"{'renders the same' if same else 'RENDERS DIFFERENTLY'}")
    print(f"output in {out}/: {len(list(frames_dir.iterdir()))} frame PNGs in frames/, "
          "contact_sheet.png, contact_sheet_recolored.png, saved/")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1]) if len(sys.argv) > 1 else HERE.parent / "out" / "demo"))
