"""Argument types and options that several commands share."""

from __future__ import annotations

import argparse
from pathlib import Path

from ravir_tools import limits
from ravir_tools.batch import default_jobs


def positive_int(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be 1 or more, not {value}")
    return value


def non_negative_int(text: str) -> int:
    value = int(text)
    if value < 0:
        raise argparse.ArgumentTypeError(f"must be 0 or more, not {value}")
    return value


def add_jobs(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("-j", "--jobs", type=positive_int, default=default_jobs(), metavar="N",
                        help="files to work on at once, each in a process of its own "
                             "(default: the cores this process may use)")


def add_palette(parser: argparse.ArgumentParser, help: str) -> None:
    parser.add_argument("--palette", type=Path, metavar="PAL", help=help)


def add_max_pixels(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--max-pixels", type=positive_int, default=limits.DEFAULT_MAX_PIXELS, metavar="N",
                        help="refuse any canvas, sheet or image of more pixels than this (default "
                             f"{limits.DEFAULT_MAX_PIXELS}, twice Pillow's limit; a warning comes above half)")


def add_quiet(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("-q", "--quiet", action="store_true", help="print nothing but problems")
