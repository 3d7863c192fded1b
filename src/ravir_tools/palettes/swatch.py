"""A palette drawn as a picture to look at (written only, as "png"): its colors in
a grid of 16 columns, each cell labelled with its index and hex value."""

from __future__ import annotations

from pathlib import Path

from PIL import Image, ImageDraw

from ravir_tools import atomic_file
from ravir_tools.palettes.colors import Color, luminance
from ravir_tools.palettes.format import PaletteFormat

COLUMNS = 16
CELL = (60, 34)
CHECKER = ((204, 204, 204, 255), (255, 255, 255, 255))  # shows through translucent colors


def swatch(colors: list[Color]) -> Image.Image:
    rows = -(-len(colors) // COLUMNS)
    image = Image.new("RGBA", (COLUMNS * CELL[0], rows * CELL[1]))
    draw = ImageDraw.Draw(image)
    for index, color in enumerate(colors):
        x, y = (index % COLUMNS) * CELL[0], (index // COLUMNS) * CELL[1]
        cell = Image.new("RGBA", CELL, CHECKER[0])
        ImageDraw.Draw(cell).rectangle((0, 0, CELL[0] // 2 - 1, CELL[1] // 2 - 1), fill=CHECKER[1])
        cell.alpha_composite(Image.new("RGBA", CELL, color))
        image.paste(cell, (x, y))
        r, g, b, a = color
        light = a < 128 or luminance(color) > 128_000
        ink = (0, 0, 0, 255) if light else (255, 255, 255, 255)
        label = f"{index}\n{r:02x}{g:02x}{b:02x}" + ("" if a == 255 else f"{a:02x}")
        draw.multiline_text((x + 3, y + 3), label, fill=ink, spacing=2)
    return image


def write(path: Path, colors: list[Color]) -> str | None:
    atomic_file.write_image(path, swatch(colors))
    return None


FORMAT = PaletteFormat("png", write=write, write_extensions=(".png",))
