"""How an animation lies in an Aseprite document, for `render --aseprite` (which
lays it out, aseprite_export.py) and `pack` (which reads it back, aseprite_import.py).

One Aseprite frame per animation frame, each holding one cel on the layer of its
kind: "frames", "shadows", or "background" for the background frame (the last).
Layers go from the bottom: background, shadows, frames, and the hidden "gap mask".
The canvas is the union of the frames placed at their offsets, as the previews
place them: the canvas's pixel (0, 0) lies at the offsets `origin`.

Aseprite keeps one transparent index for the whole document: the gap index, an
index no frame draws. When the frames draw all 256, it is the least drawn one, and
the cels on the gap mask layer mark the pixels drawn with it, at the place each
frame's cel was written.

Positions hold 16 bits and the canvas at most 65535 pixels, so the exact facts are
kept as JSON text in user data, each object naming what it describes:

- the sprite's: {"ravir": "animation", "version": 1, "speed", "duration_ms",
  "durations" (how they follow from the speed), "background", "origin": [x, y],
  "gap_index", "palette": {"location", "file"}, "source": {"file", "sha256"}};
- each of its layers': {"ravir": "layer", "role": ROLE};
- each frame's cel: {"ravir": "frame", "width", "height", "offset_x", "offset_y",
  "shadow", "cel": [x, y, width, height]}, the last the cel as written. A frame
  without pixels gets a cel of one transparent pixel to carry them.

Every frame lasts the speed in milliseconds, within Aseprite's 1 to 65535 (durations.py).
"""

from __future__ import annotations

import json
from collections import Counter

from ravir_tools.aseprite.document import UserData
from ravir_tools.errors import ToolError
from ravir_tools.exchange.json_files import parse_json

VERSION = 1
FRAMES, SHADOWS, BACKGROUND, GAP_MASK = "frames", "shadows", "background", "gap mask"
ROLES = (BACKGROUND, SHADOWS, FRAMES, GAP_MASK)  # from the bottom
FRAME_ROLES = (FRAMES, SHADOWS, BACKGROUND)  # the layers whose cels are frames
MAX_FRAMES = 0xFFFF


def speed_of(durations: list[int]) -> int:
    """The speed that frames of these durations show: the most common one (the first
    of equals), 0 for no frames."""
    return Counter(durations).most_common(1)[0][0] if durations else 0


def user_data(kind: str, **facts) -> UserData:
    return UserData(text=json.dumps({"ravir": kind, **facts}, separators=(",", ":")))


def facts(data: UserData | None, kind: str) -> dict | None:
    """The facts of `kind` that ravir wrote into `data`; None for any other text,
    which an artist may have written there."""
    if data is None or data.text is None:
        return None
    try:
        found = parse_json(data.text, "user data")
    except ToolError:
        return None
    return found if isinstance(found, dict) and found.get("ravir") == kind else None
