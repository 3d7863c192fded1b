"""The seeds of the tools' fuzz targets, made with the tests' builders and the
tools' own writers: a small good input of each kind, and a few odd ones."""

from __future__ import annotations

import io
import json
from pathlib import Path

from PIL import Image

from ravir_tools.exchange import png_chunks
from ravir_tools.exchange.atlas import atlas_json
from ravir_tools.exchange.manifest import FrameEntry, Manifest, manifest_json

from tests.support import aseprite_bytes as ab
from tests.support import hostile
from tests.support.orv_bytes import Frame, animation_bytes, palette_bytes, ramp_palette
from tests.support.projects import SPRITE


def described() -> Manifest:
    frames = [FrameEntry(4, 3, -2, 3, False, 0, Path("x_000.png"), name="x_000.png"),
              FrameEntry(0, 0, 0, 0, False), FrameEntry(3, 2, 0, 0, True, 0, Path("x_002.png"), name="x_002.png")]
    return Manifest(Path("x.json"), 7, False, "indexed", 1, "pal/a.pal", Path("/game/pal/a.pal"),
                    Path("/game/anim/x.orv"), "0" * 64, frames)


def manifests() -> dict[str, bytes]:
    atlas = atlas_json(described(), [(0, 0), (0, 0), (4, 0)], sheet=Path("x_sheet.png"), size=(7, 3), duration=100,
                       gap_index=0, mask=None)
    return {"manifest": json.dumps(manifest_json(described())).encode(), "atlas": json.dumps(atlas).encode(),
            "offsets": b"[[1, -2], {\"offset_x\": 3, \"offset_y\": 4}]", "empty-frames": hostile.manifest(3).encode()}


def png(image: Image.Image, **options) -> bytes:
    stream = io.BytesIO()
    image.save(stream, "PNG", **options)
    return stream.getvalue()


def pngs() -> dict[str, bytes]:
    described = png_chunks.png_info({"frame": 0, "offset_x": -2, "offset_y": 3, "shadow": False, "gap_index": 0,
                                     "render": "indexed"})
    indexed = Image.new("P", (4, 3), 1)
    indexed.putpalette(bytes(range(256)) * 3)
    return {"rgba": png(Image.new("RGBA", (3, 2), (1, 255, 0, 255)), pnginfo=described),
            "indexed": png(indexed, pnginfo=described, transparency=0),
            "header-only": hostile.png(2, 2), "text": hostile.png(1, 1, hostile.inflating_text(4096))}


def documents() -> dict[str, bytes]:
    drawn = ab.document([ab.frame([ab.palette([(0, 0, 0, 255)] * 4), ab.layer("a"), ab.cel(0, 1, 2, 2, 2, bytes(4))]),
                         ab.frame([ab.linked_cel(0, 1, 2, 0)])])
    return {"written": hostile.aseprite_claiming(2, 2), "drawn": drawn}


def palettes() -> dict[str, bytes]:
    ramp = ramp_palette()
    gpl = "GIMP Palette\nName: a\n# Alpha: 255\n" + "".join(f"{r} {g} {b}\tIndex\n" for r, g, b, _ in ramp[:8])
    jasc = "JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n4 5 6\r\n"
    return {"game": palette_bytes(ramp), "short": palette_bytes(ramp[:16], count=20), "gpl": gpl.encode(),
            "jasc": jasc.encode(), "act": bytes(range(256)) * 3 + b"\x00\x10\x00\x03",
            "image": hostile.indexed_png(16, 16)}


def animations() -> dict[str, bytes]:
    return {"sprite": animation_bytes(SPRITE, speed=7),
            "background": animation_bytes([*SPRITE, Frame(width=2, rows=[[(0, [1, 2])]])], background=1),
            "cut": animation_bytes(SPRITE)[:-3]}


SEEDS = {"tools_manifest": manifests, "tools_png": pngs, "tools_aseprite": documents, "tools_palette": palettes,
         "tools_pillow": animations}
