"""Runs the hostile inputs of the tests' table (tests/python/tools/test_hostile_inputs.py)
and a few whole runs through the command, each under a 4 GB address-space cap,
and prints what each printed first, its exit status, its time and its peak memory
(the largest resident set of the command and its workers).

    .venv/bin/python bench/hostile_inputs.py [--out out/bench/hostile]
"""

from __future__ import annotations

import argparse
import json
import os
import random
import resource
import shutil
import subprocess
import sys
import time
from pathlib import Path

CAP = 4 * 10**9


def measured(command: list) -> tuple[int, str, float, float]:
    """The exit status, the first line of standard error (else of standard output),
    the seconds and the peak memory in MB of `command` and every process it started."""
    def capped():
        resource.setrlimit(resource.RLIMIT_AS, (CAP, CAP))

    start = time.perf_counter()
    process = subprocess.Popen([str(part) for part in command], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True, preexec_fn=capped)
    stdout, stderr = process.communicate(timeout=600)
    seconds = time.perf_counter() - start
    # The children's figure counts every process of the run that ended before it.
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    first = (stderr.strip() or stdout.strip() or "(nothing)").splitlines()[0]
    return process.returncode, first, seconds, peak


if sys.argv[1:2] != ["--measure"]:
    # Imported only where the cases are made: a measuring process forks the command
    # with its own memory, which would count as the command's.
    sys.path.insert(0, str(Path(__file__).resolve().parents[1]))  # the tests' builders and table
    from tests.python.tools.test_hostile_inputs import CASES
    from tests.support import hostile
    from tests.support.orv_bytes import Frame
    from tests.support.projects import SPRITE, Project


def random_gallery(project: Project) -> list:
    """31 small animations whose offsets lie anywhere in the 16-bit range."""
    rng = random.Random(23)
    for number in range(31):
        frames = [Frame(width=rng.randint(1, 8), rows=[[(0, [rng.randint(1, 255)] * 2)]] * rng.randint(1, 8),
                        x_offset=rng.randint(-32768, 32767), y_offset=rng.randint(-32768, 32767))
                  for _ in range(rng.randint(1, 6))]
        project.animation(frames, name=f"random/r{number:02d}.orv")
    return ["gallery", project.root / "anim" / "random", "-o", project.root / "site", "-j", 2]


def bomb_among_good(project: Project) -> list:
    for number in range(30):
        project.animation(SPRITE, name=f"mixed/g{number:02d}.orv")
    (project.root / "anim" / "mixed" / "g15_bomb.orv").write_bytes(hostile.empty_rows(65535, 4096))
    return ["render", project.root / "anim" / "mixed", "-o", project.root / "out", "--gif", "-j", 2]


def many_frames(project: Project) -> list:
    path = project.root / "many.json"
    path.write_text(hostile.manifest(65535))
    return ["pack", path, "--palette", project.root / "pal" / "a.pal", "-o", project.root / "many.orv", "-q"]


def seek_to_a_large_frame(project: Project) -> list:
    path = project.animation([SPRITE[0], Frame(width=65535, rows=[[]] * 4096)], name="seek.orv")
    script = ("import sys, ravir_tools.pillow; from PIL import Image\nwith Image.open(sys.argv[1]) as image:\n"
              "    try:\n        image.seek(1)\n    except Image.DecompressionBombError as error:\n"
              "        sys.exit(f'{type(error).__name__}: {error}')")
    return [sys.executable, "-c", script, path]


RUNS = {"gallery of 31 random animations": random_gallery, "render --gif -j 2, one bomb among 30": bomb_among_good,
        "pack a manifest of 65,535 empty frames": many_frames, "Pillow: seek to 65535 x 4096": seek_to_a_large_frame}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", type=Path, default=Path("out/bench/hostile"))
    args = parser.parse_args()
    figures = {}
    cases = {name: lambda project, case=case: case[0](project)[0] for name, case in CASES.items()} | RUNS
    for name, make in cases.items():
        folder = args.out / name.replace(" ", "-").replace("/", "-")
        shutil.rmtree(folder, ignore_errors=True)
        project = Project(folder.resolve())
        project.palette()
        command = make(project)
        if command[0] != sys.executable:
            command = [Path(sys.executable).parent / "ravir", *command]
        # Each in a process of its own, so that the peak is this command's alone.
        child = subprocess.run([sys.executable, __file__, "--measure", json.dumps([str(c) for c in command])],
                               capture_output=True, text=True, check=True, cwd=folder)
        figures[name] = json.loads(child.stdout)
        status, first, seconds, peak = figures[name]
        print(f"{name}\n  $ {' '.join(str(c) for c in command[1:]) if command[0] != sys.executable else 'python -c'}"
              f"\n  exit {status}, {seconds:.2f} s, peak {peak:.0f} MB: {first}")
    (args.out / "results.json").write_text(json.dumps(figures, indent=1))
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--measure":
        print(json.dumps(measured(json.loads(sys.argv[2]))))
        sys.exit(0)
    sys.exit(main())
