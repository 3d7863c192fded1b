"""Many inputs at once: worker processes change nothing a user sees but the time."""

import os
import signal
import subprocess
import sys
import time

from PIL import Image

from tests.support.cli_run import ravir
from tests.support.projects import SPRITE
from tests.support.orv_bytes import Frame


def files_below(folder):
    return {p.relative_to(folder): p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


def test_workers_write_and_say_exactly_what_one_process_does(project, tmp_path):
    for i in range(12):
        project.animation(SPRITE, name=f"set{i % 3}/a{i}.orv", speed=i)
    (project.root / "anim" / "set1" / "broken.orv").write_bytes(b"\x01\x00")
    project.animation([Frame(width=2, rows=[[(0, [1, 2])]])], name="set2/orphan.orv", location="pal/none.pal")
    runs = {}
    for jobs in ("1", "3"):
        out = tmp_path / f"out{jobs}"
        rendered = ravir("render", project.root / "anim", "-o", out, "--sheet", "-v", "-j", jobs, ok=False)
        described = ravir("info", project.root / "anim", "--json", "-j", jobs, ok=False)
        said = [text.replace(str(out), "OUT") for text in (rendered.stdout, rendered.stderr)]
        runs[jobs] = (rendered.returncode, *said,
                      described.returncode, described.stdout, described.stderr, files_below(out))
    assert runs["1"] == runs["3"]
    status, stdout, stderr, *_ = runs["1"]
    assert status == 1 and len(stdout.splitlines()) == 12 * 5  # two frames, a sheet, its atlas, the manifest
    assert [line.split(":")[1].strip() for line in stderr.splitlines()] == [
        str(project.root / "anim" / "set1" / "broken.orv"), str(project.root / "anim" / "set2" / "orphan.orv"),
        "wrote 60 files into OUT from 12 animations, 2 failed"]


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
