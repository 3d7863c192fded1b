"""What every command's argument parser shares."""

from __future__ import annotations

import argparse


def add_command(commands, name: str, summary: str, description: str, examples: str) -> argparse.ArgumentParser:
    return commands.add_parser(name, help=summary, description=description,
                               epilog="examples:\n" + examples,
                               formatter_class=argparse.RawDescriptionHelpFormatter)


def positive_int(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be 1 or more, not {value}")
    return value
