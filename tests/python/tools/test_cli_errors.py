"""What a newcomer trips over: each mistake is one line naming its file and the
right exit status, never a traceback."""

import pytest

from tests.support.cli_run import ravir
from tests.support.projects import SPRITE
from tests.support.orv_bytes import animation_bytes


def empty_folder(project):
    (project.root / "empty").mkdir()
    return ["info", project.root / "empty"]


def cut(size):
    def make(project):
        path = project.root / "anim" / f"cut{size}.orv"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(animation_bytes(SPRITE)[:size])
        return ["info", path]
    return make


def palette_named(location):
    def make(project):
        return ["render", project.animation(SPRITE, location=location), "-o", project.root / "out"]
    return make


def short_palette(project):
    short = project.root / "short.pal"
    short.write_bytes(b"\x00\x01\x00\x00" + bytes(16 * 4))  # says 256 colors, holds 16
    return ["render", project.animation(SPRITE), "-o", project.root / "out", "--palette", short]


def packed(*options, frames="out"):
    def make(project):
        ravir("render", project.animation(SPRITE), "-o", project.root / "out", "--sheet")
        return ["pack", project.root / frames, "--palette", project.root / "pal" / "a.pal",
                "-o", project.root / "new.orv", *options]
    return make


def rendered(*options):
    def make(project):
        return ["render", project.animation(SPRITE), project.animation(SPRITE, name="y.orv"),
                "-o", project.root / "out", *options]
    return make


def written_into(command, target):
    """A run of `command` over three animations whose output is a file, or lies below one."""
    def make(project):
        inputs = [project.animation(SPRITE, name=f"{name}.orv") for name in "abc"]
        (project.root / "taken").write_text("not a folder")
        output = project.root / "taken" / ("out" if target == "below a file" else "")
        inputs = [project.root / "anim"] if command == "gallery" else inputs[:2] if command == "diff" else inputs
        return [command, *inputs, "-o", output]
    return make


def palette_written(*options):
    def make(project):
        return ["palette", project.root / "pal" / "a.pal", "-o", project.root / "a.gpl", *options]
    return make


def gallery(project):
    project.animation(SPRITE)
    return ["gallery", project.root / "anim", "-o", project.root / "site"]


def pack_an_animation(project):
    return ["pack", project.animation(SPRITE), "-o", project.root / "new.orv"]


def diff_of_kinds(project):
    return ["diff", project.animation(SPRITE), project.root / "pal" / "a.pal"]


RENDERED_NONE = ["ravir render: wrote 0 files into", "from 0 animations, 1 failed"]


@pytest.mark.parametrize("command, status, stderr_lines, stdout_words", [
    (empty_folder, 1, [["empty", "no .orv files found"]], []),
    (cut(0), 1, [["cut0.orv", "is not an animation", "(0 bytes)"]], []),
    (cut(10), 1, [["cut10.orv", "is not an animation", "(10 bytes)"]], []),
    (palette_named("n" * 300), 1, [["x.orv", "its palette cannot be looked for", "File name too long"],
                                   RENDERED_NONE], []),
    (palette_named(b"pal/\xa1.pal"), 1, [["x.orv", "is not UTF-8"], RENDERED_NONE], []),
    (short_palette, 0, [["short.pal", "warning", "16 of its 256 colors"],
                        ["ravir render: wrote 3 files into", "from 1 animation, 0 failed"]], []),
    (rendered(), 0, [["ravir render: wrote 6 files into", "out from 2 animations, 0 failed"]], []),
    (rendered("-q"), 0, [], []),
    (written_into("render", "file"), 1, [["taken", "is a file, not a folder"]], []),
    (written_into("render", "below a file"), 1, [["taken/out", "cannot be made", "Not a directory"]], []),
    (written_into("gallery", "file"), 1, [["taken", "is a file, not a folder"]], []),
    (written_into("diff", "below a file"), 2, [["taken/out", "cannot be made"]], []),
    (gallery, 0, [["ravir gallery: wrote", "index.html: 1 animation, 1 redone, 0 broken"]], []),
    (palette_written(), 0, [["ravir palette: wrote", "a.gpl: 256 colors as gpl"]], []),
    (palette_written("-q"), 0, [], []),
    (packed("--speed", "4"), 0, [], ["new.orv: 2 frames"]),  # the sheet beside the frames is no frame
    (packed("--speed", "4", "-q"), 0, [], []),
    (packed(), 0, [["new.orv", "warning", "stores speed 0", "--speed"]], ["new.orv: 2 frames"]),
    (packed("--speed", "4", frames="out/x_000.png"), 0, [], ["new.orv: 1 frame, palette"]),
    (pack_an_animation, 1, [["x.orv", "is an animation", "manifest", "folder of PNGs", "`ravir render`"]], []),
    (diff_of_kinds, 2, [["x.orv", "is an animation and", "a.pal is not"]], []),
], ids=["empty folder", "empty file", "10-byte file", "long palette name", "palette name not UTF-8",
        "short palette", "render says what it wrote", "render -q", "render into a file", "render below a file",
        "gallery into a file", "diff below a file", "gallery says what it wrote", "palette says what it wrote",
        "palette -q", "pack says what it wrote", "pack -q", "pack without a speed", "pack of one frame",
        "pack of an animation", "diff of an animation and a palette"])
def test_each_mistake_is_one_line_naming_its_file(project, command, status, stderr_lines, stdout_words):
    result = ravir(*command(project), ok=False)
    assert result.returncode == status, result.stderr
    lines = result.stderr.splitlines()
    assert len(lines) == len(stderr_lines), result.stderr
    for line, words in zip(lines, stderr_lines):
        assert all(word in line for word in words), line
    assert all(word in result.stdout for word in stdout_words)
    assert (result.stdout == "") == (not stdout_words)
