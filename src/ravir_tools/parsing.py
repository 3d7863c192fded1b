"""What every command's argument parser shares."""

from __future__ import annotations

import argparse

from ravir_tools.batch import default_jobs


def add_command(commands, name: str, summary: str, description: str, examples: str) -> argparse.ArgumentParser:
    parser = commands.add_parser(name, help=summary, description=description, epilog="examples:\n" + examples,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.set_defaults(command=name)
    return parser


def positive_int(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be 1 or more, not {value}")
    return value


def add_jobs(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("-j", "--jobs", type=positive_int, default=default_jobs(), metavar="N",
                        help="files to work on at once, each in a process of its own "
                             "(default: the cores this process may use)")
