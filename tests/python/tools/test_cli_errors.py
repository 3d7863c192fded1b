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


def packed(*options):
    def make(project):
        ravir("render", project.animation(SPRITE), "-o", project.root / "out", "--sheet")
        return ["pack", project.root / "out", "--palette", project.root / "pal" / "a.pal",
                "-o", project.root / "new.orv", *options]
    return make


@pytest.mark.parametrize("command, status, stderr_words, stdout_words", [
    (empty_folder, 1, ["empty", "no .orv files found"], []),
    (cut(0), 1, ["cut0.orv", "is not an animation", "(0 bytes)"], []),
    (cut(10), 1, ["cut10.orv", "is not an animation", "(10 bytes)"], []),
    (palette_named("n" * 300), 1, ["x.orv", "its palette cannot be looked for", "File name too long"], []),
    (palette_named(b"pal/\xa1.pal"), 1, ["x.orv", "is not UTF-8"], []),
    (short_palette, 0, ["short.pal", "warning", "16 of its 256 colors"], []),
    (packed(), 0, [], ["new.orv: 2 frames"]),  # the sheet beside the frames is no frame
    (packed("-q"), 0, [], []),
], ids=["empty folder", "empty file", "10-byte file", "long palette name", "palette name not UTF-8",
        "short palette", "pack says what it wrote", "pack -q"])
def test_each_mistake_is_one_line_naming_its_file(project, command, status, stderr_words, stdout_words):
    result = ravir(*command(project), ok=False)
    assert result.returncode == status, result.stderr
    lines = result.stderr.splitlines()
    assert len(lines) == (1 if stderr_words else 0), result.stderr
    assert all(word in lines[0] for word in stderr_words)
    assert all(word in result.stdout for word in stdout_words)
    assert (result.stdout == "") == (not stdout_words)
