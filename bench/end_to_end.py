"""The command on a game-sized folder: `ravir render` with the default jobs and with
--jobs 1, against the floor of the same work by hand in one process; the PNG
compression levels at both ends; every other output (--apng, --sheet, --gif) and the
gallery's first build and rerun, each over the plain render of its round; the part
of the sheets the frames cover; and the peak memory of long runs.

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
import time
from pathlib import Path

from PIL import Image

import game
import ravir

RAVIR = [sys.executable, "-m", "ravir_tools"]


# This machine's file system (ext4 without a journal) avoids reusing an inode for a
# minute after it was freed (six while its inode table waits to be written), and
# steps over each such inode at every file it creates: the first thousands of files
# made after thousands were deleted cost some 0.4 ms each. No timed run may pay for
# the deletions of another, so every run writes into a folder of its own and nothing
# is deleted until the timing is done; the leftovers of an earlier benchmark are
# deleted first, flushed to the disk, and given that minute.
SETTLE_S = 65
# The outputs held against the plain render of their round, as the README's table shows them.
OUTPUTS = ("--apng", "--sheet", "--gif", "gallery")


def clear(*folders: Path) -> None:
    present = [folder for folder in folders if folder.exists()]
    for folder in present:
        shutil.rmtree(folder)
    os.sync()
    if present:
        print(f"(waiting {SETTLE_S} s for the file system to settle after deleting the last run's files)", flush=True)
        time.sleep(SETTLE_S)


def by_hand(files: list[Path], out: Path, level: int) -> None:
    """The floor: load with the module and save each frame with Pillow, in one process."""
    for path in files:
        f = ravir.OrvF()
        f.load(str(path))
        for index, frame in enumerate(f.get_frame_buffer()):
            if frame.width and frame.height:
                image = Image.frombytes("RGBA", (frame.width, frame.height), frame.pixels)
                image.save(out / f"{path.stem}_{index:03d}.png", compress_level=level)


def timed_rounds(runs: dict, repeats: int, scratch: Path) -> dict[str, list[Path]]:
    """Times every run `repeats` times, one of each in turn in every round, so that the
    machine's drifts in speed weigh on all of them alike; each writes into a new
    folder. `runs` maps a name to a function of that folder. Returns the folders."""
    times: dict[str, list[float]] = {name: [] for name in runs}
    folders: dict[str, list[Path]] = {name: [] for name in runs}
    for round_ in range(repeats):
        for name, run in runs.items():
            out = scratch / f"{name.replace(' ', '_').replace(',', '')}-{round_}"
            start = time.perf_counter()
            run(out)
            times[name].append(time.perf_counter() - start)
            folders[name].append(out)
    return times, folders


def command(*extra: str, folder: str, verb: str = "render"):
    # Warnings (the GIF's transparent entry of every animation) would bury the figures.
    return lambda out: subprocess.run([*RAVIR, verb, folder, "-o", str(out), *extra], check=True,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def gallery_runs(folder: str) -> dict:
    """The gallery's first build into a new site, and its rerun on that site with
    nothing changed."""
    sites: list[Path] = []

    def first(out: Path) -> None:
        command(folder=folder, verb="gallery")(out)
        sites.append(out)

    return {"gallery": first, "gallery, nothing changed": lambda out: command(folder=folder, verb="gallery")(sites[-1])}


def sheet_coverage(folder: Path) -> float:
    """The part of the sheets' area that the frames' rectangles cover."""
    covered = total = 0
    for atlas in folder.rglob("*_sheet.json"):
        document = json.loads(atlas.read_text())
        size = document["meta"]["size"]
        total += size["w"] * size["h"]
        covered += sum(entry["frame"]["w"] * entry["frame"]["h"] for entry in document["frames"].values())
    return covered / total


def floor(files: list[Path], level: int):
    def run(out: Path) -> None:
        out.mkdir()
        by_hand(files, out, level)
    return run


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
    root, scratch = args.out / "game", args.out / "game-render"
    clear(root, scratch)
    files = game.make_game(root)
    folder = str(root / "anim")
    results: dict = {"animations": len(files), "jobs_default": len(os.sched_getaffinity(0))}

    # The default jobs run between the two runs they are held against.
    runs = {"--jobs 1": command("--jobs", "1", folder=folder), "default jobs": command(folder=folder),
            "by hand": floor(files, 6),
            "default jobs, level 0": command("--compress-level", "0", folder=folder),
            "default jobs, level 9": command("--compress-level", "9", folder=folder),
            "--apng": command("--apng", folder=folder), "--sheet": command("--sheet", folder=folder),
            "--gif": command("--gif", folder=folder), **gallery_runs(folder)}
    times, outputs = timed_rounds(runs, repeats, scratch)
    # The runs of one round follow each other closely: their ratios are steadier than
    # those of the minimums when the machine's speed drifts between rounds.
    rounds = {"speedup_over_jobs_1": [one / default for one, default in zip(times["--jobs 1"], times["default jobs"])],
              "default_jobs_over_floor": [default / by_hand for default, by_hand in zip(times["default jobs"],
                                                                                         times["by hand"])]}
    outputs_over_render = {name: [taken / render for taken, render in zip(times[name], times["default jobs"])]
                           for name in OUTPUTS}
    coverage = sheet_coverage(outputs["--sheet"][0])
    gallery_again = summary(times.pop("gallery, nothing changed"))
    floor_times = summary(times.pop("by hand"))
    renders = {name: summary(taken) for name, taken in times.items()}
    pngs = sum(1 for _ in outputs["default jobs"][0].rglob("*.png"))
    identical = same_tree(outputs["default jobs"][0], outputs["--jobs 1"][0])
    shutil.rmtree(scratch)
    os.sync()
    results.update(pngs=pngs, identical_output=identical, floor=floor_times, render=renders)
    results["speedup_over_jobs_1"] = renders["--jobs 1"]["min_s"] / renders["default jobs"]["min_s"]
    results["default_jobs_over_floor"] = renders["default jobs"]["min_s"] / floor_times["min_s"]
    results["per_round"] = rounds
    results["over_render"] = {name: {"min": renders[name]["min_s"] / renders["default jobs"]["min_s"],
                                     "per_round": ratios} for name, ratios in outputs_over_render.items()}
    results["gallery_nothing_changed"] = gallery_again
    results["sheet_coverage"] = coverage

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
        if name in OUTPUTS:
            continue
        label = f"ravir render ({name})"
        print(f"  {label:28} {figures['min_s']:8.2f} {figures['median_s']:9.2f}")
    print(f"  {'by hand, one process':28} {floor_times['min_s']:8.2f} {floor_times['median_s']:9.2f}")
    print(f"  default jobs: {results['speedup_over_jobs_1']:.2f}x faster than --jobs 1, "
          f"{results['default_jobs_over_floor']:.2f}x the floor; output identical: {identical}")
    print(f"  round by round: {', '.join(f'{r:.2f}' for r in rounds['speedup_over_jobs_1'])}x faster; "
          f"{', '.join(f'{r:.2f}' for r in rounds['default_jobs_over_floor'])}x the floor")
    print(f"  {'output':28} {'min s':>8} {'x render':>9}   each round over its render")
    for name in ("default jobs", *OUTPUTS):
        label = "ravir render" if name == "default jobs" else name if name == "gallery" else f"... {name}"
        ratio = renders[name]["min_s"] / renders["default jobs"]["min_s"]
        rounds_text = ", ".join(f"{r:.2f}" for r in outputs_over_render.get(name, []))
        print(f"  {label:28} {renders[name]['min_s']:8.2f} {ratio:8.2f}x   {rounds_text}")
    print(f"  gallery, nothing changed: {gallery_again['min_s']:.2f} s; the frames cover {coverage:.0%} of the sheets")
    for count, figures in memory.items():
        print(f"  peak memory over {count:>6} files: info --json {figures['info --json']:.1f} MB, "
              f"render {figures['render']:.1f} MB")
    (args.out / "end_to_end.json").write_text(json.dumps(results, indent=2) + "\n")


if __name__ == "__main__":
    main()
