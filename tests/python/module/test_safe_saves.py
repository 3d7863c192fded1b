"""Saves that fail or are cut short never cost the previous file. Each writer (the
module's OrvF.save and PalF.save, and the PNG that `ravir render` writes) runs in a
process of its own: under a file size limit, on a full disk, killed while it
writes, through a symbolic link, over a file with permission bits of its own, and
into a folder that does not exist."""

from __future__ import annotations

import errno
import json
import os
import random
import resource
import signal
import stat
import subprocess
import sys
import time
from pathlib import Path

import pytest

from tests.support.cli_run import one_error
from tests.support.projects import SPRITE
from tests.support.orv_bytes import Frame

WRITERS = ["OrvF.save", "PalF.save", "render"]

# Saves once; says "saving" as it starts and "saved" when it is done. When the save
# raises OSError, prints the error as JSON instead and exits with 1.
SAVE = """
import json, os, sys
import ravir

writer, source, target, palette = sys.argv[1:]
if writer == "OrvF.save":
    saver = ravir.OrvF()
    saver.load(source)
    save = lambda: saver.save(target, os.path.dirname(palette), palette)
else:
    saver = ravir.PalF()
    saver.load(source)
    save = lambda: saver.save(target)
print("saving", flush=True)
try:
    save()
except OSError as error:
    print(json.dumps([type(error).__name__, error.errno, error.filename]))
    sys.exit(1)
print("saved", flush=True)
"""


def targets(writer: str, folder: Path) -> list[Path]:
    """The files `writer` replaces in `folder`, the one it fails on first."""
    return {"OrvF.save": [folder / "x.orv", folder / "a.pal"], "PalF.save": [folder / "a.pal"],
            "render": [folder / "x_000.png"]}[writer]


def command(writer: str, animation: Path, folder: Path) -> list[str]:
    """The process that makes `writer` write into `folder` from anim/x.orv, or for
    PalF.save from the palette it names."""
    if writer == "render":
        return [sys.executable, "-m", "ravir_tools", "render", str(animation), "-o", str(folder)]
    source = animation if writer == "OrvF.save" else animation.parents[1] / "pal" / "a.pal"
    return [sys.executable, "-c", SAVE, writer, str(source), str(targets(writer, folder)[0]), str(folder / "a.pal")]


def run(argv: list[str], **options) -> subprocess.CompletedProcess:
    return subprocess.run(argv, capture_output=True, text=True, timeout=120, **options)


def start(writer: str, argv: list[str]) -> subprocess.Popen:
    """The process, once its save has begun (as near as the writer tells)."""
    process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if writer != "render":
        assert process.stdout.readline() == "saving\n"
    return process


def reference(writer: str, animation: Path, tmp_path: Path) -> tuple[list[bytes], float]:
    """What `writer` writes when nothing goes wrong, and the seconds its save took."""
    folder = tmp_path / "reference"
    folder.mkdir()
    process = start(writer, command(writer, animation, folder))
    began = time.monotonic()
    if writer == "render":
        process.wait(timeout=120)
    else:
        assert process.stdout.readline() == "saved\n"
    duration = time.monotonic() - began
    _, err = process.communicate(timeout=120)
    assert process.returncode == 0, err
    return [path.read_bytes() for path in targets(writer, folder)], duration


def previous(writer: str, folder: Path) -> dict[Path, bytes]:
    """Puts a previous file at each target; returns their contents."""
    folder.mkdir(exist_ok=True)
    old = {path: b"the previous " + path.name.encode() for path in targets(writer, folder)}
    for path, content in old.items():
        path.write_bytes(content)
    return old


def hidden_files(folder: Path) -> list[Path]:
    return sorted(folder.glob(".*.tmp"))


def assert_failed_cleanly(writer: str, result, folder: Path, old: dict[Path, bytes], code: int) -> str | None:
    """One line naming the file, every previous file whole, no hidden file left.
    Returns the name of the exception the module raised."""
    target = targets(writer, folder)[0]
    line = one_error(result, target)
    name = None
    if writer == "render":
        assert os.strerror(code) in line
    else:
        name, got, filename = json.loads(result.stdout.splitlines()[-1])
        assert (got, filename) == (code, str(target))
    assert {path: path.read_bytes() for path in old} == old
    assert hidden_files(folder) == []
    return name


@pytest.fixture
def animation(project) -> Path:
    return project.animation(SPRITE[:1])


@pytest.mark.parametrize("writer", WRITERS)
def test_a_file_size_limit_below_the_new_file_leaves_the_previous_one(writer, animation, tmp_path):
    new, _ = reference(writer, animation, tmp_path)
    limit = len(new[0]) // 2

    def limited():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

    folder = tmp_path / "out"
    old = previous(writer, folder)
    result = run(command(writer, animation, folder), preexec_fn=limited)
    assert_failed_cleanly(writer, result, folder, old, errno.EFBIG)


@pytest.fixture
def small_disk(tmp_path):
    mount = tmp_path / "disk"
    mount.mkdir()
    try:
        result = run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", str(mount)])
    except FileNotFoundError:
        pytest.skip("no mount command to make a small file system with")
    if result.returncode != 0:
        reason = (result.stderr.strip().splitlines() or ["mount failed"])[0]
        pytest.skip(f"mounting a tmpfs is not permitted here: {reason}")
    try:
        yield mount
    finally:
        run(["umount", str(mount)])


def fill(folder: Path) -> None:
    descriptor = os.open(folder / "filler", os.O_WRONLY | os.O_CREAT)
    try:
        while os.write(descriptor, bytes(4096)):
            pass
    except OSError as error:
        assert error.errno == errno.ENOSPC
    finally:
        os.close(descriptor)


@pytest.mark.parametrize("writer", WRITERS)
def test_a_full_disk_leaves_the_previous_file(writer, animation, small_disk):
    old = previous(writer, small_disk)
    fill(small_disk)
    result = run(command(writer, animation, small_disk))
    assert_failed_cleanly(writer, result, small_disk, old, errno.ENOSPC)


def long_save(writer: str) -> list[Frame]:
    """Frames whose save takes a while: random indices, so that they compress badly."""
    rng = random.Random(7)
    if writer == "render":
        return [Frame(width=1020, rows=[[(0, rng.randbytes(255)) for _ in range(4)] for _ in range(600)])]
    frame = Frame(width=255, rows=[[(0, rng.randbytes(255))] for _ in range(255)])
    return [frame] * 300  # some 20 MB


@pytest.mark.parametrize("writer", ["OrvF.save", "render"])
def test_a_save_killed_at_any_moment_leaves_the_old_file_or_the_new_one(writer, project, tmp_path):
    animation = project.animation(long_save(writer))
    new, duration = reference(writer, animation, tmp_path)
    folder = tmp_path / "out"
    rng = random.Random(20261208)
    midway = 0  # kills that landed while files were being replaced
    for attempt in range(20):
        old = previous(writer, folder)
        process = start(writer, command(writer, animation, folder))
        time.sleep(rng.uniform(0, duration))
        process.kill()
        process.communicate()
        states = []
        for path, written in zip(old, new):
            content = path.read_bytes()
            states.append("old" if content == old[path] else "new" if content == written else "neither")
        assert "neither" not in states, f"attempt {attempt}: {states}"
        # Killed while writing, the hidden file stays behind: nothing can remove it.
        left = hidden_files(folder)
        midway += bool(left) or len(set(states)) > 1
        for path in left:
            path.unlink()
    assert midway, "no kill landed while the save was replacing files"


@pytest.mark.parametrize("writer", WRITERS)
def test_through_a_symbolic_link_the_file_it_names_is_replaced(writer, animation, tmp_path):
    new, _ = reference(writer, animation, tmp_path)
    folder = tmp_path / "out"
    folder.mkdir()
    real = tmp_path / "elsewhere" / "real"
    real.parent.mkdir()
    real.write_bytes(b"the previous file")
    link = targets(writer, folder)[0]
    link.symlink_to(Path("..") / "elsewhere" / "real")
    result = run(command(writer, animation, folder))
    assert result.returncode == 0, result.stderr
    assert os.readlink(link) == str(Path("..") / "elsewhere" / "real")
    assert real.read_bytes() == new[0]
    assert hidden_files(folder) == hidden_files(real.parent) == []


@pytest.mark.parametrize("writer", WRITERS)
def test_a_replaced_file_keeps_its_permission_bits_and_a_new_one_follows_the_umask(writer, animation, tmp_path):
    replaced = tmp_path / "replaced"
    previous(writer, replaced)
    targets(writer, replaced)[0].chmod(0o640)
    created = tmp_path / "created"
    created.mkdir()
    for folder in (replaced, created):
        assert run(command(writer, animation, folder), umask=0o002).returncode == 0
    assert stat.S_IMODE(targets(writer, replaced)[0].stat().st_mode) == 0o640
    assert stat.S_IMODE(targets(writer, created)[0].stat().st_mode) == 0o664


# The command makes the folders it writes into.
@pytest.mark.parametrize("writer", ["OrvF.save", "PalF.save"])
def test_a_save_into_a_missing_folder_raises_file_not_found_naming_the_file(writer, animation, tmp_path):
    folder = tmp_path / "missing"
    result = run(command(writer, animation, folder))
    assert assert_failed_cleanly(writer, result, folder, {}, errno.ENOENT) == "FileNotFoundError"
    assert not folder.exists()
