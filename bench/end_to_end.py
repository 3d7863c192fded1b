"""The command on a game-sized folder: `ravir render` with the default jobs and with
--jobs 1, against the floor of the same work by hand in one process; the PNG
compression levels at both ends; and the peak memory of long runs.

    python bench/end_to_end.py [--out DIR] [--quick]

Figures are printed and written to DIR/end_to_end.json (DIR defaults to out/bench).
"""

import argparse
import filecmp
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from PIL import Image

import game
import ravir

RAVIR = [sys.executable, "-m", "ravir_tools"]


def timed(command: list[str], repeats: int, out: Path) -> list[float]:
    """Each repeat writes into an empty `out`, as the floor writes into a new folder:
    replacing the files of an earlier run costs more than making them."""
    times = []
    for _ in range(repeats):
        shutil.rmtree(out, ignore_errors=True)
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return times


def by_hand(files: list[Path], out: Path, level: int) -> None:
    """The floor: load with the module and save each frame with Pillow, in one process."""
    for path in files:
        f = ravir.OrvF()
        f.load(str(path))
        for index, frame in enumerate(f.get_frame_buffer()):
            if frame.width and frame.height:
                image = Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels)
                image.save(out / f"{path.stem}_{index:03d}.png", compress_level=level)


def timed_by_hand(files: list[Path], level: int, repeats: int) -> list[float]:
    times = []
    for _ in range(repeats):
        with tempfile.TemporaryDirectory() as out:
            start = time.perf_counter()
            by_hand(files, Path(out), level)
            times.append(time.perf_counter() - start)
    return times


def same_tree(a: Path, b: Path) -> bool:
    compared = filecmp.dircmp(a, b)
    if compared.left_only or compared.right_only or compared.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(a, b, compared.common_files, shallow=False)
    return not mismatch and not errors and all(same_tree(a / d, b / d) for d in compared.common_dirs)


def peak_memory_mb(command: list[str]) -> float:
    """The largest resident set of the command and its workers, in MB."""
    probe = ("import resource, subprocess, sys; subprocess.run(sys.argv[1:], check=True, "
             "stdout=subprocess.DEVNULL); print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    output = subprocess.run([sys.executable, "-c", probe, *command], check=True, capture_output=True, text=True)
    return int(output.stdout) / 1024


def summary(times: list[float]) -> dict:
    return {"min_s": min(times), "median_s": statistics.median(times), "repeats": len(times)}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", type=Path, default=Path("out/bench"))
    parser.add_argument("--quick", action="store_true", help="one repeat and fewer files for the memory runs")
    args = parser.parse_args()
    repeats = 1 if args.quick else 3
    root = args.out / "game"
    shutil.rmtree(root, ignore_errors=True)
    files = game.make_game(root)
    folder = str(root / "anim")
    results: dict = {"animations": len(files), "jobs_default": len(os.sched_getaffinity(0))}

    renders = {}
    for name, extra in (("default jobs", []), ("--jobs 1", ["--jobs", "1"]),
                        ("default jobs, level 0", ["--compress-level", "0"]),
                        ("default jobs, level 9", ["--compress-level", "9"])):
        out = args.out / "game-render" / name.replace(" ", "_").replace(",", "")
        renders[name] = summary(timed([*RAVIR, "render", folder, "-o", str(out), *extra], repeats, out))
        renders[name]["output"] = out
    pngs = sum(1 for _ in renders["default jobs"]["output"].rglob("*.png"))
    identical = same_tree(renders["default jobs"]["output"], renders["--jobs 1"]["output"])
    floor = summary(timed_by_hand(files, 6, repeats))
    results.update(pngs=pngs, identical_output=identical, floor=floor,
                   render={k: {**v, "output": str(v["output"])} for k, v in renders.items()})
    results["speedup_over_jobs_1"] = renders["--jobs 1"]["min_s"] / renders["default jobs"]["min_s"]
    results["default_jobs_over_floor"] = renders["default jobs"]["min_s"] / floor["min_s"]

    memory = {}
    small, large = (200, 4000) if args.quick else (1000, 20000)
    for count in (small, large):
        tiny = args.out / f"tiny{count}"
        shutil.rmtree(tiny, ignore_errors=True)
        game.make_tiny(tiny, count)
        rendered = args.out / f"tiny{count}-render"
        shutil.rmtree(rendered, ignore_errors=True)
        memory[count] = {
            "info --json": peak_memory_mb([*RAVIR, "info", "--json", str(tiny / "anim")]),
            "render": peak_memory_mb([*RAVIR, "render", str(tiny / "anim"), "-o", str(rendered)]),
        }
        shutil.rmtree(rendered, ignore_errors=True)
    results["peak_memory_mb"] = memory

    print(f"end to end: {len(files)} animations, {pngs} PNGs, {results['jobs_default']} jobs by default")
    print(f"  {'run':28} {'min s':>8} {'median s':>9}")
    for name, figures in renders.items():
        label = f"ravir render ({name})"
        print(f"  {label:28} {figures['min_s']:8.2f} {figures['median_s']:9.2f}")
    print(f"  {'by hand, one process':28} {floor['min_s']:8.2f} {floor['median_s']:9.2f}")
    print(f"  default jobs: {results['speedup_over_jobs_1']:.2f}x faster than --jobs 1, "
          f"{results['default_jobs_over_floor']:.2f}x the floor; output identical: {identical}")
    for count, figures in memory.items():
        print(f"  peak memory over {count:>6} files: info --json {figures['info --json']:.1f} MB, "
              f"render {figures['render']:.1f} MB")
    (args.out / "end_to_end.json").write_text(json.dumps(results, indent=2) + "\n")


if __name__ == "__main__":
    main()
