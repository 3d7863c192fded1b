"""Times `ravir gallery` over a folder of generated animations and reports the
size of the site: a first run that makes every page, a second that finds nothing
changed, and a third after one animation changed.

    .venv/bin/python bench/gallery.py [--count 400] [--jobs N] [--out out/bench/gallery]

The animations are those of the "many" workload (bench/workloads.py): 8 frames of
64 x 64 pixels each, noise from a fixed seed, all drawn with one palette. Noise is
the worst case for PNG, so real sprites make smaller sites.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import time
from collections import Counter
from pathlib import Path

import workloads


def timed(command: list[str]) -> tuple[float, str]:
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, text=True, check=True)
    return time.perf_counter() - start, result.stdout.strip()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=400)
    parser.add_argument("--jobs", type=int, default=len(os.sched_getaffinity(0)))
    parser.add_argument("--out", type=Path, default=Path("out/bench/gallery"))
    args = parser.parse_args()

    shutil.rmtree(args.out, ignore_errors=True)
    game, site = args.out / "game", args.out / "site"
    rng = random.Random(workloads.SEED)
    workloads.write(game / workloads.PALETTE_LOCATION, workloads.palette_bytes(rng))
    many = workloads.make_many(game, rng, count=args.count)
    command = [str(Path(sys.executable).parent / "ravir"), "gallery", str(game / "anim"), "-o", str(site),
               "-j", str(args.jobs)]

    print(f"{args.count} animations, {args.jobs} jobs")
    for run in ("first run", "nothing changed", "one changed"):
        if run == "one changed":
            changed = many.files[len(many.files) // 2]
            changed.write_bytes(changed.read_bytes() + b"\0")  # a byte past the frames: a new size
        seconds, said = timed(command)
        print(f"  {run:16} {seconds:7.2f} s   {said}")

    sizes, counts = Counter(), Counter()
    for path in site.rglob("*"):
        if path.is_file():
            kind = path.suffix or path.name
            sizes[kind] += path.stat().st_size
            counts[kind] += 1
    print(f"site: {sum(sizes.values()) / 1e6:.1f} MB in {sum(counts.values())} files")
    for kind, size in sizes.most_common():
        print(f"  {kind:6} {counts[kind]:6} files {size / 1e6:8.2f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
