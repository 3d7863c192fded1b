"""Many inputs at once: worker processes change nothing a user sees but the time."""

import contextlib
import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

from PIL import Image

from tests.support import hostile
from tests.support.cli_run import SUMMARY, ravir
from tests.support.process_memory import under_sanitizer
from tests.support.projects import SPRITE
from tests.support.orv_bytes import Frame


def files_below(folder):
    return {p.relative_to(folder): p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


def test_workers_write_and_say_exactly_what_one_process_does(project, tmp_path):
    for i in range(12):
        project.animation(SPRITE, name=f"set{i % 3}/a{i}.orv", speed=i)
    (project.root / "anim" / "set1" / "broken.orv").write_bytes(b"\x01\x00")
    (project.root / "anim" / "set1" / "bomb.orv").write_bytes(hostile.empty_rows(65535, 4096))
    project.animation([Frame(width=2, rows=[[(0, [1, 2])]])], name="set2/orphan.orv", location="pal/none.pal")
    runs = {}
    for jobs in ("1", "3"):
        out = tmp_path / f"out{jobs}"
        rendered = ravir("render", project.root / "anim", "-o", out, "--sheet", "-v", "-j", jobs, ok=False,
                         address_space=None if under_sanitizer() else 2 << 30)
        described = ravir("info", project.root / "anim", "--json", "-j", jobs, ok=False)
        said = [text.replace(str(out), "OUT") for text in (rendered.stdout, rendered.stderr)]
        runs[jobs] = (rendered.returncode, *said,
                      described.returncode, described.stdout, described.stderr, files_below(out))
    assert runs["1"] == runs["3"]
    status, stdout, stderr, *_ = runs["1"]
    assert status == 1 and len(stdout.splitlines()) == 12 * 5  # two frames, a sheet, its atlas, the manifest
    assert [line.split(":")[1].strip() for line in stderr.splitlines()] == [
        str(project.root / "anim" / "set1" / name) for name in ("bomb.orv", "broken.orv")] + [
        str(project.root / "anim" / "set2" / "orphan.orv"), "wrote 60 files into OUT from 12 animations, 3 failed"]


def test_an_interrupt_stops_every_worker_and_leaves_no_partial_file(project, tmp_path):
    big = [Frame(width=250, rows=[[(0, list(range(250)))] * 4] * 200)] * 6
    for i in range(40):
        project.animation(big, name=f"a{i:02d}.orv")
    out = tmp_path / "out"
    process = subprocess.Popen([sys.executable, "-m", "ravir_tools", "render", project.root / "anim", "-o", out,
                                "-j", "2"], stderr=subprocess.PIPE, text=True, start_new_session=True)
    deadline = time.monotonic() + 60
    while not any(out.rglob("*.png")) and time.monotonic() < deadline:
        time.sleep(0.05)
    os.killpg(process.pid, signal.SIGINT)
    _, stderr = process.communicate(timeout=60)
    assert process.returncode == 130
    assert stderr.strip().splitlines()[-1] == "ravir: interrupted" and "Traceback" not in stderr
    written = list(out.rglob("*"))
    assert all(not p.name.startswith(".") for p in written)  # no temporary file left behind
    assert len([p for p in written if p.suffix == ".png"]) < 40 * 6
    for png in (p for p in written if p.suffix == ".png"):
        with Image.open(png) as image:
            image.load()


def writing_first_frame(pid: int) -> int | None:
    """The worker of `pid` that has the hidden file of a first frame open, if one has."""
    for worker in Path(f"/proc/{pid}/task/{pid}/children").read_text().split():
        with contextlib.suppress(OSError):
            if any(os.readlink(fd).endswith(".tmp") and "_000.png." in os.readlink(fd)
                   for fd in Path(f"/proc/{worker}/fd").iterdir()):
                return int(worker)
    return None


def test_a_worker_killed_costs_only_its_file(project, tmp_path):
    big = [Frame(width=250, rows=[[(0, list(range(250)))] * 4] * 200)] * 6
    for i in range(16):
        project.animation(big, name=f"a{i:02d}.orv")
    expected = tmp_path / "expected"
    ravir("render", project.root / "anim", "-o", expected, "-j", "1")
    out = tmp_path / "out"
    process = subprocess.Popen([sys.executable, "-m", "ravir_tools", "render", project.root / "anim", "-o", out,
                                "-j", "2"], stderr=subprocess.PIPE, text=True)
    # Mid-file: once a worker writes the first frame of a file, five frames before its files take their places.
    deadline = time.monotonic() + 60
    while (worker := writing_first_frame(process.pid)) is None and time.monotonic() < deadline:
        time.sleep(0.002)
    os.kill(worker, signal.SIGKILL)
    _, stderr = process.communicate(timeout=60)
    [line] = [line for line in stderr.splitlines() if not SUMMARY.match(line)]
    assert process.returncode == 1, stderr
    assert line.endswith(": its worker ended (killed by signal 9, often the system out of memory); nothing of it "
                         "was written")
    lost = Path(line.split(": ")[1]).stem
    assert not any(p.name.startswith(".") or p.name.startswith(f"{lost}_") for p in out.iterdir())
    assert files_below(out) == {name: data for name, data in files_below(expected).items()
                                if not name.name.startswith(f"{lost}")}


def test_a_slow_first_file_holds_back_no_other(project, tmp_path):
    # The first file is the last to finish, after every other file its workers could take ahead of it.
    project.animation([Frame(width=250, rows=[[(0, list(range(250)))] * 4] * 200)] * 12, name="a00.orv")
    for i in range(1, 12):
        project.animation(SPRITE, name=f"a{i:02d}.orv")
    result = ravir("info", project.root / "anim", "--jsonl", "-j", "2")
    assert [json.loads(line)["file"] for line in result.stdout.splitlines()] == [
        str(project.root / "anim" / f"a{i:02d}.orv") for i in range(12)]


def test_workers_end_with_a_killed_run(project, tmp_path):
    for i in range(16):
        project.animation([Frame(width=250, rows=[[(0, list(range(250)))] * 4] * 200)] * 6, name=f"a{i:02d}.orv")
    process = subprocess.Popen([sys.executable, "-m", "ravir_tools", "render", project.root / "anim", "-o",
                                tmp_path / "out", "-j", "2"])
    deadline = time.monotonic() + 60
    while writing_first_frame(process.pid) is None and time.monotonic() < deadline:
        time.sleep(0.002)
    workers = [int(w) for w in Path(f"/proc/{process.pid}/task/{process.pid}/children").read_text().split()]
    process.kill()
    process.wait()
    try:
        # Orphans now: each sees its pipe to the run closed once it asks for more work.
        while any(map(alive, workers)) and time.monotonic() < deadline:
            time.sleep(0.05)
        assert not any(map(alive, workers))
    finally:
        for worker in filter(alive, workers):
            os.kill(worker, signal.SIGKILL)


def alive(pid: int) -> bool:
    """Whether the process runs: neither gone nor a zombie."""
    try:
        return Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False
