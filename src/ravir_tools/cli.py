"""The `ravir` command: one subcommand per module of `commands`, each turning its
arguments into typed options and running on them; and the one place that prints
a ToolError."""

from __future__ import annotations

import argparse
import os
import signal
import sys

import ravir

from ravir_tools.commands import diff, gallery, info, pack, palette, render
from ravir_tools.errors import ToolError, UsageError

COMMANDS = (info, render, palette, pack, gallery, diff)

EXAMPLES = """\
examples:
  ravir info anim/walk.orv
  ravir render game/anim -o out/ --sheet --gif
  ravir render anim/walk.orv -o work/ --indexed
  ravir palette pal/a.pal -o swatch.png
  ravir pack work/walk.json -o anim/walk.orv
  ravir render anim/walk.orv -o work/ --aseprite; ravir pack work/walk.aseprite -o anim/walk.orv
  ravir pack frames/ --palette pal/a.pal -o anim/new.orv --root .
  ravir gallery game/anim -o site/
  ravir diff game/anim/walk.orv mod/anim/walk.orv -o diff/

Run `ravir COMMAND --help` for each command's options.
"""


def parser() -> argparse.ArgumentParser:
    top = argparse.ArgumentParser(prog="ravir", description="Inspect, render, convert and author Quorl animations.",
                                  epilog=EXAMPLES, formatter_class=argparse.RawDescriptionHelpFormatter)
    top.add_argument("--version", action="version", version=f"%(prog)s {ravir.__version__}")
    commands = top.add_subparsers(required=True, metavar="COMMAND")
    for command in COMMANDS:
        sub = commands.add_parser(command.NAME, help=command.SUMMARY, description=command.DESCRIPTION,
                                  epilog="examples:\n" + command.EXAMPLES,
                                  formatter_class=argparse.RawDescriptionHelpFormatter)
        command.add_arguments(sub)
        sub.set_defaults(command=command, parser=sub)
    return top


def main(argv: list[str] | None = None) -> int:
    top = parser()
    if not (sys.argv[1:] if argv is None else argv):
        # What a newcomer types first: the commands and examples, not a usage error.
        print(top.format_help(), end="")
        return 0
    args = top.parse_args(argv)
    command = args.command
    try:
        options = command.options(args)
    except UsageError as error:
        args.parser.error(str(error))
    try:
        status = command.run(options)
        sys.stdout.flush()
        return status
    except ToolError as error:
        print(f"ravir {command.NAME}: {error}", file=sys.stderr)
        return getattr(command, "ERROR_STATUS", 1)
    except KeyboardInterrupt:
        print("ravir: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader went away (`ravir info ... | head`): stop quietly, as Unix tools do.
        # Standard output points nowhere from now on, so that the interpreter's last
        # flush at exit cannot fail again.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 128 + signal.SIGPIPE
