import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
from PIL import Image

from tests.support.cli_run import pixels, ravir
from tests.support.orv_bytes import Frame, ramp_palette
from tests.support.projects import SPRITE

ROOT = Path(__file__).resolve().parents[3]
BACKGROUND = Frame(width=3, rows=[[(0, [7, 7, 7])]] * 2)
MARK = (255, 0, 128, 255)  # how the picture marks a changed pixel


def edited(row=(0, [1, 2, 3, 4]), x_offset=-2):
    return Frame(width=4, rows=[[(1, [5, 6])], [], [row]], x_offset=x_offset, y_offset=3)


@pytest.mark.parametrize("after, options, status, lines", [
    ([edited()] + SPRITE[1:], {}, 0, []),
    ([Frame(width=4, rows=[[(1, [5, 6])], [], [(0, [1, 2]), (0, [3, 4])]], x_offset=-2, y_offset=3, frame_size=9,
            unk1=3)] + SPRITE[1:], {}, 0, []),  # runs laid out otherwise draw the same
    ([edited((0, [1, 2, 9, 4]))] + SPRITE[1:], {}, 1, ["frame 0: 1 pixel changed within 1x1 at 2,2"]),
    ([edited(x_offset=5)] + SPRITE[1:], {}, 1, ["frame 0: offsets -2,3 -> 5,3"]),
    (SPRITE + [Frame(width=2, rows=[[(1, 1)]], shadow=True), BACKGROUND], {"background": 1}, 1,
     ["frames: 3 -> 4", "frame 2: added, 2x1 at 0,0, shadow; 1 pixel changed within 1x1 at 1,0"]),
    (SPRITE, {"location": "pal/b.pal"}, 1, ["palette location: 'pal/a.pal' -> 'pal/b.pal'",
                                            "palette: 1 entry differs ({a} -> {b})",
                                            "  entry 7: #07f803ff -> #000000ff"]),
], ids=["identical", "laid out otherwise", "one pixel", "an offset", "a frame added before the background",
        "another palette location"])
def test_diff_names_each_difference_in_reading_order(project, after, options, status, lines):
    project.palette("b.pal", colors=[(0, 0, 0, 255) if i == 7 else c for i, c in enumerate(ramp_palette())])
    before = project.animation(SPRITE + ([BACKGROUND] if "background" in options else []), name="a.orv",
                               background=options.get("background"))
    changed = project.animation(after, name="b.orv", **options)
    result = ravir("diff", before, changed, ok=False)
    assert result.returncode == status, result.stderr
    palettes = {"a": project.root / "pal" / "a.pal", "b": project.root / "pal" / "b.pal"}
    expected = [f"--- {before}", f"+++ {changed}"] + [line.format(**palettes) for line in lines] if lines else []
    assert result.stdout.splitlines() == expected
    assert result.stderr == ""


def test_two_folders_compare_file_by_file(project, tmp_path):
    for name, frames in (("x.orv", SPRITE), ("y.orv", SPRITE), ("deep/w.orv", SPRITE)):
        project.animation(frames, name=name)
    theirs = tmp_path / "theirs"
    shutil.copytree(project.root / "anim", theirs / "anim")
    (theirs / "anim" / "y.orv").unlink()
    project.animation([edited(x_offset=0)] + SPRITE[1:], name="z.orv")
    shutil.copy(project.root / "anim" / "z.orv", project.root / "anim" / "x.orv")
    project.animation([edited((0, [1, 2, 9, 4]))] + SPRITE[1:], name="deep/w.orv")
    mine = project.root / "anim"
    result = ravir("diff", theirs / "anim", mine, "-o", tmp_path / "out", ok=False)
    assert result.returncode == 1, result.stderr
    assert result.stdout.splitlines() == [
        f"--- {theirs / 'anim' / 'deep' / 'w.orv'}", f"+++ {mine / 'deep' / 'w.orv'}",
        f"frame 0: 1 pixel changed within 1x1 at 2,2 (image {tmp_path / 'out' / 'deep' / 'w_000.diff.png'})",
        f"--- {theirs / 'anim' / 'x.orv'}", f"+++ {mine / 'x.orv'}", "frame 0: offsets -2,3 -> 0,3",
        f"only in {mine}: y.orv", f"only in {mine}: z.orv"]
    document = json.loads(ravir("diff", theirs / "anim", mine, "--json", ok=False).stdout)
    assert set(document) == {"a", "b", "same", "removed", "added", "changed"}
    assert (document["removed"], document["added"], document["same"]) == ([], ["y.orv", "z.orv"], False)
    deep, change = document["changed"]
    assert set(change) == {"a", "b", "same", "header", "frames", "palette"}
    assert set(change["frames"][0]) == {"a", "b", "background", "fields", "pixels", "box", "image"}
    assert change["frames"][0]["fields"] == {"offset_x": [-2, 0]}
    assert deep["frames"][0]["box"] == {"x": 2, "y": 2, "width": 1, "height": 1}
    assert change["palette"]["entries"] == []


@pytest.mark.parametrize("colors, status, lines", [
    (ramp_palette(), 0, []),
    ([(1, 2, 3, 4)] + ramp_palette()[1:], 1, ["entry 0: #00ff00ff -> #01020304"]),
])
def test_palettes_of_any_format_compare_entry_by_entry(project, tmp_path, colors, status, lines):
    other = tmp_path / "b.gpl"
    ravir("palette", project.palette("b.pal", colors=colors), "-o", other, "-q")
    a = project.root / "pal" / "a.pal"
    result = ravir("diff", a, other, ok=False)
    assert result.returncode == status
    assert result.stdout.splitlines() == ([f"--- {a}", f"+++ {other}"] + lines if lines else [])
    document = json.loads(ravir("diff", a, other, "--json", ok=False).stdout)
    assert set(document) == {"a", "b", "same", "entries"} and len(document["entries"]) == len(lines)


def test_the_picture_shows_the_frame_before_after_and_its_changed_pixel(project, tmp_path):
    before = project.animation(SPRITE, name="a.orv")
    after = project.animation([edited((0, [1, 2, 9, 4]))] + SPRITE[1:], name="b.orv")
    result = ravir("diff", before, after, "-o", tmp_path / "out", "--json", ok=False)
    picture = tmp_path / "out" / "b_000.diff.png"
    assert json.loads(result.stdout)["frames"][0]["image"] == str(picture)
    assert os.listdir(tmp_path / "out") == ["b_000.diff.png"]
    with Image.open(picture) as image:
        shown, size = pixels(image), image.size
    # The old index in the panel before, the new one after, the mark in the third, each
    # a block of one enlarged pixel at the same place in its panel.
    boxes = [Image.frombytes("L", size, bytes(255 if p == color else 0 for p in shown)).getbbox()
             for color in (ramp_palette()[3], ramp_palette()[9], MARK)]
    assert len({(top, right - left, bottom - top) for left, top, right, bottom in boxes}) == 1, boxes
    left, top, right, bottom = boxes[0]
    assert right - left == bottom - top > 1 and shown.count(MARK) == (right - left) ** 2
    assert boxes[1][0] - boxes[0][0] == boxes[2][0] - boxes[1][0] > 0, boxes


def test_the_readme_example_runs_as_written(tmp_path):
    readme = (ROOT / "README.md").read_text()
    commands, printed = re.search(r"<!-- diff example -->\n```sh\n(.*?)```\n\n```\n(.*?)```", readme, re.S).groups()
    shutil.copytree(ROOT / "examples", tmp_path / "examples")
    path = f"{Path(sys.executable).parent}:{os.environ['PATH']}"  # `ravir` and `python` are the test's
    result = subprocess.run(["bash", "-e", "-c", commands], cwd=tmp_path, env={**os.environ, "PATH": path},
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 1, result.stderr  # the files differ
    assert result.stdout == printed and result.stderr == ""
    assert (tmp_path / "out" / "diff" / "orb_003.diff.png").is_file()


def test_git_diff_shows_the_changed_frame_through_the_readme_recipe(project, tmp_path):
    readme = (ROOT / "README.md").read_text()
    attributes = re.search(r"^(\*\.orv diff=orv)$", readme, re.M).group(1)
    configure = re.search(r"^(git config diff\.orv\.textconv .*)$", readme, re.M).group(1)
    repository = project.root
    path = f"{Path(sys.executable).parent}:{os.environ['PATH']}"
    environment = {**os.environ, "PATH": path, "GIT_CONFIG_GLOBAL": "/dev/null", "GIT_CONFIG_NOSYSTEM": "1"}

    def git(command: str) -> str:
        return subprocess.run(["bash", "-e", "-c", command], cwd=repository, env=environment, check=True,
                              capture_output=True, text=True, timeout=60).stdout

    git("git init -q && git config user.email t@example.com && git config user.name t")
    (repository / ".gitattributes").write_text(attributes + "\n")
    git(configure)
    project.animation(SPRITE)
    git("git add -A && git commit -qm sprite")
    project.animation([edited((0, [1, 2, 9, 4]))] + SPRITE[1:])
    changed = [line for line in git("git diff").splitlines() if line[:1] in "+-" and line[:3] not in ("+++", "---")]
    assert [line[0] for line in changed] == ["-", "+"]
    assert changed[0][1:].startswith("frame 0: 4x3 at -2,3, 6 pixels drawn, indices ")
    assert changed[0][:-12] == "-" + changed[1][1:-12] and changed[0][-12:] != changed[1][-12:]
