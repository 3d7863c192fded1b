import json

import pytest

from tests.support.cli_run import one_error, ravir
from tests.support.projects import SPRITE, Project
from tests.support.orv_bytes import Frame, palette_bytes, ramp_palette


def test_text_names_speed_frames_and_where_the_palette_was_found(project, sprite):
    out = ravir("info", sprite).stdout.splitlines()
    assert out[0] == str(sprite)
    assert out[1].split() == ["speed", "7,", "2", "frames,", "background", "no"]
    assert out[2] == f"  palette 'pal/a.pal': found at {project.root / 'pal' / 'a.pal'}"
    assert out[4].split() == ["0", "4x3", "-2,3", "no", "3", "2"]
    assert out[5].split() == ["1", "3x2", "0,0", "yes", "2", "2"]


def test_json_holds_every_frame(project):
    frames = SPRITE + [Frame(width=300, rows=[[(0, [1] * 200), (10, [2] * 50)]] * 2)]  # the background, last
    path = project.animation(frames, background=1, speed=3)
    [summary] = json.loads(ravir("info", "--json", path).stdout)
    assert summary["file"] == str(path)
    assert (summary["speed"], summary["frame_count"], summary["background"]) == (3, 3, True)
    assert summary["palette_location"] == "pal/a.pal"
    assert summary["palette_found"] == str(project.root / "pal" / "a.pal")
    assert summary["palette_loaded"] is True
    assert [(f["width"], f["height"], f["offset_x"], f["offset_y"], f["shadow"], f["rows"], f["runs"])
            for f in summary["frames"]] == [(4, 3, -2, 3, False, 3, 2), (3, 2, 0, 0, True, 2, 2),
                                            (300, 2, 0, 0, False, 2, 4)]


@pytest.mark.parametrize("location, found, loaded", [
    ("pal/none.pal", None, False),  # nowhere above the file
    ("pal/bad.pal", "pal/bad.pal", False),  # found, but its count is 0
])
def test_a_palette_that_cannot_be_used_is_described_and_fails(project, location, found, loaded):
    project.palette("bad.pal", colors=[], count=0)
    path = project.animation(SPRITE, location=location)
    result = ravir("info", "--json", path, ok=False)
    [summary] = json.loads(result.stdout)
    assert summary["palette_found"] == (str(project.root / found) if found else None)
    assert summary["palette_loaded"] is loaded
    assert len(summary["frames"]) == 2
    one_error(result, path, "not found" if found is None else "cannot be read")
    assert ("not found" if found is None else "not readable") in ravir("info", path, ok=False).stdout


@pytest.mark.parametrize("location, on_disk, outcome", [
    ("pal/a.pal", "PAL/A.PAL", "found"),  # as a system that ignores case found it
    ("Pal/./none/../A.pal", "pal/a.PAL", "found"),
    ("../PAL/A.PAL", "pal/a.pal", "not found"),  # only in the folder above the game's
    ("/PAL/A.PAL", "pal/a.pal", "refused"),  # an absolute location is not followed at all
])
def test_a_palette_is_found_ignoring_case_only_within_the_folders_searched(tmp_path, location, on_disk, outcome):
    game = Project(tmp_path / "game")
    stored = f"{tmp_path}{location}" if location.startswith("/") else location
    for name in ("x.orv", "y.orv"):
        game.animation(SPRITE, name=name, location=stored)
    (tmp_path / on_disk).parent.mkdir(parents=True, exist_ok=True)
    (tmp_path / on_disk).write_bytes(palette_bytes(ramp_palette()))
    result = ravir("info", "--json", game.root, ok=outcome == "found")
    found = [summary["palette_found"] for summary in json.loads(result.stdout)]
    assert found == {"found": [str(tmp_path / on_disk)] * 2, "not found": [None] * 2, "refused": []}[outcome]
    said = [line for line in result.stderr.splitlines() if "without regard to case" in line]
    assert len(said) == (outcome == "found")  # once for the run
    assert (outcome == "refused") == ("leaves the game folder" in result.stderr)


def test_folders_are_searched_and_a_failing_file_does_not_stop_the_rest(project, sprite, tmp_path):
    nested = project.animation(SPRITE, name="deep/y.orv")
    (project.root / "anim" / "notes.txt").write_text("not an animation")
    result = ravir("info", "--json", tmp_path / "missing.orv", project.root / "anim", ok=False)
    assert [s["file"] for s in json.loads(result.stdout)] == [str(nested), str(sprite)]
    one_error(result, "missing.orv", "no such file")


def test_a_file_whose_frame_count_lies_is_one_line(project):
    path = project.animation([], frame_count=1_000_000)
    one_error(ravir("info", path, ok=False), path, "exceeds the size of the file")


def test_a_palette_given_replaces_the_files_own(project, sprite, tmp_path):
    (tmp_path / "b.gpl").write_text("GIMP Palette\n" + "1 2 3\n" * 3)  # fewer colors than the sprite's indices
    [summary] = json.loads(ravir("info", "--json", "--palette", tmp_path / "b.gpl", sprite).stdout)
    assert (summary["palette_found"], summary["palette_replaced"]) == (str(tmp_path / "b.gpl"), True)
    assert summary["palette_loaded"] is True
    assert "replaced by" in ravir("info", "--palette", tmp_path / "b.gpl", sprite).stdout
    (tmp_path / "c.gpl").write_text("GIMP Palette\n1 2\n")
    one_error(ravir("info", "--palette", tmp_path / "c.gpl", sprite, ok=False), "c.gpl", "line 2")
