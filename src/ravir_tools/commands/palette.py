"""`ravir palette`: a palette converted to another tool's format, drawn as a swatch,
or printed."""

from __future__ import annotations

import json
import sys
from dataclasses import dataclass
from pathlib import Path

from ravir_tools.commands.arguments import add_quiet
from ravir_tools.errors import ToolError, UsageError
from ravir_tools.palettes.registry import WRITABLE, output_format, read_palette_file, write_palette_file
from ravir_tools.wording import counted

NAME = "palette"
SUMMARY = "convert a palette, draw it as a swatch or print it"
DESCRIPTION = ("Reads a palette in any format ravir knows and writes it in another, draws it as a swatch, or "
               "prints its colors as JSON.")
EXAMPLES = """\
  ravir palette pal/a.pal -o swatch.png            # the colors, labelled with index and hex
  ravir palette pal/a.pal -o a.gpl                 # for GIMP and Aseprite
  ravir palette a.gpl -o pal/a.pal                 # back to the game's format
  ravir palette pal/a.pal -o a.act                 # Adobe color table
  ravir palette pal/a.pal -o a_jasc.pal --format jasc
  ravir palette pal/a.pal -o a_indexed.png --format png-palette
  ravir palette pal/a.pal --json

The input's format is recognised from its content: the game's .pal, GIMP .gpl,
Adobe .act, JASC-PAL, or an indexed PNG, GIF or BMP. The output's follows its
extension (.pal the game's, .gpl, .act, .png a swatch) unless --format names it.
A 768- or 772-byte file that reads both as .act and as a game palette is an .act
file when its name ends in .act, and a game palette otherwise.
.gpl keeps the fourth byte (alpha) of every entry; .act and JASC-PAL have none and
say so when one is lost.
"""


@dataclass(frozen=True)
class Options:
    palette: Path
    output: Path | None = None
    format: str | None = None  # a name in the registry; None: from the output's extension
    json: bool = False
    quiet: bool = False


def add_arguments(parser) -> None:
    parser.add_argument("palette", type=Path, metavar="PAL", help="palette file")
    parser.add_argument("-o", "--output", type=Path, metavar="OUT", help="palette or swatch image to write")
    parser.add_argument("--format", choices=sorted(WRITABLE),
                        help="format to write (default: from the output's extension; pal is the game's)")
    parser.add_argument("--json", action="store_true", help="print the colors as JSON")
    add_quiet(parser)


def options(args) -> Options:
    if args.output is None and not args.json:
        raise UsageError("give -o OUT, --json or both")
    if args.format is not None and args.output is None:
        raise UsageError("--format needs -o OUT")
    return Options(args.palette, args.output, args.format, args.json, args.quiet)


def say(message: str) -> None:
    print(f"ravir palette: {message}", file=sys.stderr)


def run(options: Options) -> int:
    palette = read_palette_file(options.palette)
    for warning in palette.warnings:
        say(f"{options.palette}: warning: {warning}")
    if options.output is not None:
        format = output_format(options.output, options.format)
        try:
            lost = write_palette_file(options.output, palette.colors, format)
        except OSError as error:
            raise ToolError(options.output, f"cannot write: {error.strerror or error}") from None
        if lost:
            say(f"{options.output}: warning: {lost}")
        if not options.quiet:
            say(f"wrote {options.output}: {counted(len(palette.colors), 'color')} as {format}")
    if options.json:
        print(json.dumps({"palette": str(options.palette), "format": palette.format,
                          "colors": [list(c) for c in palette.colors]}))
    return 0
