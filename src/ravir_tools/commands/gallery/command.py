"""`ravir gallery`: the command. Finds the animations, redoes those whose files
changed since the last run (in worker processes, under the progress bar), drops
those that are gone, and writes the index from every animation's entry."""

from __future__ import annotations

import contextlib
import os
from dataclasses import dataclass
from pathlib import Path

from ravir_tools import atomic_file, limits, output_folder
from ravir_tools.batch import Batch, Input, InputFiles
from ravir_tools.commands.arguments import add_jobs, add_max_pixels, add_palette, add_quiet
from ravir_tools.commands.gallery import pages, state
from ravir_tools.commands.gallery.site import ASSETS, INDEX, Place, inside
from ravir_tools.commands.gallery.work import Work
from ravir_tools.errors import ToolError
from ravir_tools.exchange.names import claimed, names_nothing
from ravir_tools.palettes.registry import read_palette
from ravir_tools.wording import counted

NAME = "gallery"
SUMMARY = "write a browsable site of every animation"
DESCRIPTION = ("Writes a static site: an index of cards, one per animation found below the folders (an animated "
               "preview, frames, size and palette; broken files marked), searchable by path, and a page per "
               "animation with its frames, a player, its palette and what loading it reported.")
EXAMPLES = """\
  ravir gallery game/anim -o site/            # then open site/index.html in a browser
  ravir gallery game/anim mods/anim -o site/ -j 4

Run it again with the same SITE: only the animations whose file or palette changed
are redone, and those no longer found are dropped. The site needs no server.
"""


@dataclass(frozen=True)
class Options:
    folders: list[str]
    output: Path
    flip_offsets: bool = False
    palette: Path | None = None
    jobs: int = 1
    quiet: bool = False
    max_pixels: int = limits.DEFAULT_MAX_PIXELS


def add_arguments(parser) -> None:
    parser.add_argument("folders", nargs="+", metavar="FOLDER", help="folders to search for .orv files")
    parser.add_argument("-o", "--output", required=True, type=Path, metavar="SITE", help="folder of the site")
    parser.add_argument("--flip-offsets", action="store_true", help="negate the offsets when aligning frames")
    add_palette(parser, "draw every animation with this palette (any format `ravir palette` reads)")
    add_quiet(parser)
    add_max_pixels(parser)
    add_jobs(parser)


def options(args) -> Options:
    return Options(args.folders, args.output, args.flip_offsets, args.palette, args.jobs, args.quiet,
                   args.max_pixels)


def labelled(arguments: list[str]) -> list[tuple[str, Path]]:
    """Each folder with the name its cards are grouped under: its own, made unique."""
    result: list[tuple[str, Path]] = []
    for argument in arguments:
        folder = Path(argument)
        if not folder.is_dir():
            raise ToolError(folder, "is not a folder" if folder.exists() else "no such folder")
        base = folder.resolve().name or "root"
        label, number = base, 2
        while any(label == taken for taken, _ in result):
            label, number = f"{base}-{number}", number + 1
        result.append((label, folder))
    return result


def inputs(arguments: list[str]) -> list[Input]:
    items: list[Input] = []
    taken: set[Path] = set()
    for label, folder in labelled(arguments):
        for item in InputFiles([folder], ".orv", lambda stem: claimed(stem, sheet=True)):
            name = Path(label) / item.name
            # x.ORV beside x.orv, or a file named ".orv": it keeps its suffix
            if name in taken or names_nothing(item.stem):
                name = Path(label) / os.path.dirname(item.stem) / item.path.name
            taken.add(name)
            items.append(Input(item.file, name.as_posix(), item.clash, item.game))
    return items


def open_site(site: Path, memory: state.State) -> None:
    """Refuses a folder that holds something other than a gallery, whose files a
    run could overwrite. A new site gets its state file at once, so that a run
    stopped before its end leaves a folder that the next run takes up."""
    if site.exists() and not site.is_dir():
        raise ToolError(site, "is not a folder")
    if memory.path.exists():
        memory.read()
        return
    if site.is_dir() and any(site.iterdir()):
        raise ToolError(site, "holds other files and no gallery: give a new or empty folder")
    site.mkdir(parents=True, exist_ok=True)
    memory.write([])


def write_assets(site: Path) -> None:
    # Imported here: it costs every run of the command a noticeable part of its start.
    from importlib import resources

    (site / ASSETS).mkdir(exist_ok=True)
    for asset in (resources.files(__package__) / "assets").iterdir():
        atomic_file.write_bytes(site / ASSETS / asset.name, asset.read_bytes())


def prune(batch: Batch, site: Path, before: list[dict], after: list[dict]) -> None:
    """Removes the files of the previous run that no entry of this one lists."""
    kept = {name for entry in after for name in entry["files"]}
    for name in {name for entry in before for name in entry.get("files", ())} - kept:
        path = inside(site, name)
        if path is None:
            continue
        try:
            path.unlink(missing_ok=True)
        except OSError as error:
            batch.warn(path, f"cannot remove it: {error.strerror}")
            continue
        for folder in path.parents:
            if folder == site:
                break
            with contextlib.suppress(OSError):  # a folder that still holds files stays
                folder.rmdir()


def run(options: Options) -> int:
    site = options.output
    items = inputs(options.folders)
    palette_name = str(options.palette.resolve()) if options.palette is not None else None
    memory = state.State(site, {"flip_offsets": options.flip_offsets, "palette": palette_name})
    output_folder.prepare(site)
    try:
        open_site(site, memory)
    except OSError as error:
        raise ToolError(site, f"cannot be written: {error.strerror}") from None
    pages_of = [Place.of(item).page for item in items]
    entries = {}
    for page, item in zip(pages_of, items):
        entry = memory.fresh(page, item.path)
        if entry is not None:
            entries[page] = entry
    batch = Batch("ravir gallery", [item for page, item in zip(pages_of, items) if page not in entries], options.jobs)
    for entry in entries.values():
        if entry["card"]["error"]:
            batch.say(entry["card"]["error"])
    palette = read_palette(options.palette, batch.warn) if options.palette is not None else None
    redone = len(batch.inputs)
    work = Work(site, options.flip_offsets, palette, options.max_pixels)
    batch.run(work, lambda entry: entries.__setitem__(entry["page"], entry))

    ordered = [entries[page] for page in pages_of if page in entries]
    cards = [entry["card"] for entry in ordered]
    try:
        write_assets(site)
        atomic_file.write_text(site / INDEX, pages.index(cards))
        prune(batch, site, list(memory.entries.values()), ordered)
        memory.write(ordered)
    except OSError as error:
        raise ToolError(error.filename or site, f"cannot write: {error.strerror}") from None
    broken = sum(1 for card in cards if card["error"])
    if not options.quiet:
        batch.say(f"wrote {site / INDEX}: {counted(len(cards), 'animation')}, {redone} redone, {broken} broken")
    return 1 if broken or batch.failed else 0
