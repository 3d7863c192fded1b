"""`ravir palette`: a palette's 256 colors as a labelled swatch or as JSON."""

from __future__ import annotations

import json
import sys
from pathlib import Path

from PIL import Image, ImageDraw

from ravir_tools.images import save_image
from ravir_tools.animation import read_palette
from ravir_tools.errors import ToolError
from ravir_tools.parsing import add_command

EXAMPLES = """\
  ravir palette pal/a.pal -o swatch.png
  ravir palette pal/a.pal --json
"""

COLUMNS = 16
CELL = (60, 34)
CHECKER = ((204, 204, 204, 255), (255, 255, 255, 255))  # shows through translucent colors


def register(commands) -> None:
    parser = add_command(commands, "palette", "draw a palette as a swatch, or print it",
                         "Draws the palette's colors in a grid of 16 columns, each cell labelled with "
                         "its index and hex value, or prints them as JSON.", EXAMPLES)
    parser.add_argument("palette", type=Path, metavar="PAL", help="palette file")
    parser.add_argument("-o", "--output", type=Path, metavar="PNG", help="swatch image to write")
    parser.add_argument("--json", action="store_true", help="print the colors as JSON")
    parser.set_defaults(run=run)


def swatch(colors: list[tuple[int, int, int, int]]) -> Image.Image:
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
        light = a < 128 or r * 299 + g * 587 + b * 114 > 128_000
        ink = (0, 0, 0, 255) if light else (255, 255, 255, 255)
        label = f"{index}\n{r:02x}{g:02x}{b:02x}" + ("" if a == 255 else f"{a:02x}")
        draw.multiline_text((x + 3, y + 3), label, fill=ink, spacing=2)
    return image


def run(args) -> int:
    if args.output is None and not args.json:
        print("ravir palette: give -o PNG, --json or both", file=sys.stderr)
        return 2
    try:
        colors = read_palette(args.palette).colors
        if args.output is not None:
            try:
                save_image(swatch(colors), args.output)
            except OSError as error:
                raise ToolError(args.output, f"cannot write: {error.strerror or error}") from None
    except ToolError as error:
        print(f"ravir palette: {error}", file=sys.stderr)
        return 1
    if args.json:
        print(json.dumps({"palette": str(args.palette), "colors": [list(c) for c in colors]}))
    return 0
