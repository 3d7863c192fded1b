"""The `ravir` command: one subcommand per module."""

from __future__ import annotations

import argparse
import os
import sys

import ravir

from ravir_tools import info, pack, palette, render

EXAMPLES = """\
examples:
  ravir info anim/walk.orv
  ravir render game/anim -o out/ --sheet --gif
  ravir render anim/walk.orv -o work/ --indexed
  ravir palette pal/a.pal -o swatch.png
  ravir pack work/walk.json -o anim/walk.orv
  ravir pack frames/ --palette pal/a.pal -o anim/new.orv --root .

Run `ravir COMMAND --help` for each command's options.
"""


def parser() -> argparse.ArgumentParser:
    top = argparse.ArgumentParser(prog="ravir", description="Inspect, render, convert and author Quorl animations.",
                                  epilog=EXAMPLES, formatter_class=argparse.RawDescriptionHelpFormatter)
    top.add_argument("--version", action="version", version=f"%(prog)s {ravir.__version__}")
    commands = top.add_subparsers(required=True, metavar="COMMAND")
    for command in (info, render, palette, pack):
        command.register(commands)
    return top


def main(argv: list[str] | None = None) -> int:
    args = parser().parse_args(argv)
    try:
        return args.run(args)
    except KeyboardInterrupt:
        print("ravir: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # Whoever read the output stopped (`ravir info ... | head`); the rest has no reader.
        # Standard output goes nowhere from here on, so that the exit's flush cannot fail again.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
