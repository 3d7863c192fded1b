"""Colors as the tools pass them around: four bytes, red, green, blue and the fourth
byte the renderer copies into the images as their alpha."""

from __future__ import annotations

from pathlib import Path

from ravir_tools.errors import ToolError

Color = tuple[int, int, int, int]

MAX_COLORS = 256
OPAQUE = 255


def colors_of(palette) -> list[Color]:
    """The colors of a loaded palette (the module's PalF) as tuples."""
    return [(c.r, c.g, c.b, c.a) for c in palette.colors()]


def rgb_bytes(colors: list[Color]) -> bytes:
    """The red, green and blue of each color, as an indexed image's palette holds them."""
    return b"".join(bytes(color[:3]) for color in colors)


def luminance(color: Color) -> int:
    """Brightness as the eye sees it (ITU-R 601 weights), times 1000."""
    r, g, b, _ = color
    return 299 * r + 587 * g + 114 * b


def check_count(path: Path, count: int, where: str = "") -> None:
    """Refuses a palette of no colors or of more than a palette holds."""
    if count > MAX_COLORS:
        raise ToolError(path, f"{where}{count} colors; a palette holds at most {MAX_COLORS}")
    if count == 0:
        raise ToolError(path, f"{where}no colors")


def lost_alpha(colors: list[Color], format: str) -> str | None:
    """The warning for a format that keeps only opaque entries, when others are met."""
    changed = sum(1 for c in colors if c[3] != OPAQUE)
    if not changed:
        return None
    return (f"the {format} format has no fourth byte (alpha): {changed} of the {len(colors)} entries "
            f"are not {OPAQUE}, and are written as {OPAQUE}")
