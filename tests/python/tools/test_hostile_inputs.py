"""Files that ask for much, or are not what they are named: each refused in one
line naming it, within 2 GiB of memory, with nothing written or removed."""

import os
from pathlib import Path

import pytest

from tests.support import hostile
from tests.support.cli_run import one_error, ravir
from tests.support.orv_bytes import palette_bytes, ramp_palette
from tests.support.process_memory import under_sanitizer
from tests.support.projects import SPRITE

GiB = 1 << 30


def place(project, name: str, data: bytes | str) -> Path:
    path = project.root / name
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data.encode() if isinstance(data, str) else data)
    return path


def special(kind):
    """A link to /dev/zero, or a FIFO, under a name a command reads whole."""
    def make(project, name):
        path = project.root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.symlink_to("/dev/zero") if kind == "device" else os.mkfifo(path)
        return path
    return make


def sparse(size: int):
    """A sprite's animation followed by a hole: a file of `size` bytes that takes no room."""
    def make(project, name):
        path = project.animation(SPRITE, name=name)
        os.truncate(path, size)
        return path
    return make


def render(name, data, *options):
    def case(project):
        path = place(project, f"anim/{name}", data)
        return ["render", path, "-o", project.root / "out", *options], path
    return case


def info(name, data):
    def case(project):
        path = data(project, name) if callable(data) else place(project, name, data)
        return ["info", path], path
    return case


def with_palette(name, data, command="render"):
    def case(project):
        palette = data(project, name) if callable(data) else place(project, name, data)
        sprite = project.animation(SPRITE)
        if command == "palette":
            return ["palette", palette, "--json"], palette
        return [command, sprite, "-o", project.root / "out", "--palette", palette], palette
    return case


def packed(name, data, *options):
    def case(project):
        path = data(project, name) if callable(data) else place(project, name, data)
        frame = path if name.endswith(".png") else place(project, "frame.png", hostile.png(1, 1))
        inputs = [path] if name.endswith((".json", ".aseprite", ".png")) else [frame]
        if name.endswith("offsets"):
            options_given = ["--offsets", path]
        else:
            options_given = []
        return ["pack", *inputs, "--palette", project.root / "pal" / "a.pal", "-o", project.root / "new.orv",
                *options_given, *options], path
    return case


def manifest_naming_palette(data):
    def case(project):
        palette = data(project, "pal/zero.pal")
        path = place(project, "x.json", hostile.manifest(1, palette={"location": "pal/zero.pal",
                                                                    "file": str(palette)}))
        return ["pack", path, "-o", project.root / "new.orv"], palette
    return case


def pack_onto(culprit):
    def case(project):
        ravir("render", project.animation(SPRITE), "-o", project.root / "out")
        target = project.root / "out" / culprit
        return ["pack", project.root / "out" / "x.json", "-o", target], target
    return case


CASES = {
    "preview canvas, GIF": (render("far.orv", hostile.dots_at(-30000, 30000), "--gif"),
                            ["the preview canvas would be 60001 x 60001 (3.6 G pixels)", "179 M", "--max-pixels"]),
    "preview canvas, APNG": (render("far.orv", hostile.dots_at(-30000, 30000), "--apng"), ["preview canvas"]),
    "GIF side": (render("far.orv", hostile.dots_at(-32768, 32767), "--gif", "--max-pixels", 10**10),
                 ["65536 x 65536", "GIF holds at most 65535"]),
    "sheet": (render("tall.orv", hostile.animation_of_frames((65535, 1), (1, 32767)), "--sheet"),
              ["the sheet would be", "--max-pixels"]),
    "frame": (render("wide.orv", hostile.empty_rows(65535, 4096)), ["frame 0 would be 65535 x 4096"]),
    "scaled frame": (render("wide.orv", hostile.empty_rows(4096, 4096), "--scale", 4),
                     ["frame 0 at scale 4 would be 16384 x 16384"]),
    "PNG frame": (packed("big.png", hostile.png(65535, 32767)), ["the image read would be 65535 x 32767"]),
    "Aseprite frame": (packed("big.aseprite", hostile.aseprite_claiming(65535, 8192)),
                       ["frame 0 would be 65535 x 8192"]),
    "manifest frames": (packed("x.json", hostile.manifest(70000)), ["lists 70,000 frames, more than the 65,535"]),
    "manifest depth": (packed("x.json", hostile.nested(100000)), ["nested more than 32 deep"]),
    "manifest number": (packed("x.json", hostile.manifest(1).replace('"speed": 1', '"speed": ' + "9" * 5000)),
                        ["a number of 5000 digits"]),
    "PNG text": (packed("text.png", hostile.png(1, 1, hostile.inflating_text())), ["cannot read the image"]),
    "device manifest": (packed("x.json", special("device")), ["is a device, not a file"]),
    "FIFO manifest": (packed("x.json", special("fifo")), ["is a FIFO, not a file"]),
    "device document": (packed("x.aseprite", special("device")), ["is a device"]),
    "device offsets": (packed("offsets", special("device")), ["is a device"]),
    "device palette of a manifest": (manifest_naming_palette(special("device")), ["is a device"]),
    "device palette": (with_palette("zero.pal", special("device")), ["is a device"]),
    "FIFO palette": (with_palette("fifo.pal", special("fifo")), ["is a FIFO"]),
    "indexed PNG palette": (with_palette("big.png", hostile.indexed_png(20000, 20000)), ["cannot read the image"]),
    "PNG text palette": (with_palette("text.png", hostile.png(1, 1, hostile.inflating_text(), color_type=3)),
                         ["cannot read the image"]),
    "GIMP alpha": (with_palette("a.gpl", "GIMP Palette\n# Alpha: " + "9" * 5000 + "\n1 2 3\n", "palette"),
                   ["line 2", "alpha"]),
    "device animation": (info("zero.orv", special("device")), ["is a device"]),
    "huge animation": (info("huge.orv", sparse(300 << 20)), ["is 314,572,800 bytes", "an animation may have"]),
    "text as animation": (info("README.md", "# A title\n\n" + "Some text of a read-me.\n" * 2000),
                          ["is not an animation: its palette location is not a path (", "bytes, not text)"]),
    "palette as animation": (info("a.pal", palette_bytes(ramp_palette())), ["is not an animation"]),
    "absolute palette location": (render("abs.orv", hostile.animation_at("/etc/hostname")),
                                  ["its palette location /etc/hostname leaves the game folder", "--palette"]),
    "palette location out of the game": (render("up.orv", hostile.animation_at("../../../etc/hostname")),
                                         ["leaves the game folder"]),
    "pack onto its manifest": (pack_onto("x.json"), ["one of the files this animation is packed from"]),
    "pack onto a frame": (pack_onto("x_000.png"), ["x_000.png", "one of the files"]),
}


def files_below(folder: Path) -> dict:
    return {p: p.read_bytes() for p in folder.rglob("*") if p.is_file() and not p.is_symlink()}


@pytest.mark.skipif(under_sanitizer(), reason="the sanitizer's shadow memory does not fit the address space given")
@pytest.mark.parametrize("name", CASES)
def test_a_hostile_input_is_one_line_within_bounded_memory_and_touches_nothing(project, name):
    case, words = CASES[name]
    args, culprit = case(project)
    before = files_below(project.root)
    result = ravir(*args, ok=False, address_space=2 * GiB)
    one_error(result, culprit, *words)
    assert files_below(project.root) == before
