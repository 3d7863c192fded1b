"""Times ravir's hot paths against their floors and the pure-Python baseline.

    python bench/run.py [--out DIR] [--json FILE] [--quick]

Generates the workloads under DIR (default out/bench), checks that ravir and the
baseline render the same images, times every operation, prints a table and writes
every figure to FILE (default DIR/results.json).
"""

import argparse
import json
import os
import platform
import subprocess
import sys
import threading
import time
from pathlib import Path

import baseline
import timing
import workloads
import ravir

MS = 1e3
US = 1e6


def machine():
    model = next((line.split(":", 1)[1].strip() for line in subprocess.run(
        ["lscpu"], capture_output=True, text=True).stdout.splitlines()
        if line.startswith("Model name:")), platform.processor())
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True,
                            cwd=Path(__file__).parent).stdout.strip()
    return {"cpu": model, "cores": os.cpu_count(), "python": platform.python_version(),
            "ravir": ravir.__version__, "commit": commit, "load_average": os.getloadavg()}


def check_against_baseline(work, files):
    """The comparison means something only if both produce the same images."""
    for path in files:
        f = ravir.OrvF()
        f.load(str(path))
        ours = [(fb.width, fb.height, fb.pixels) for fb in f.get_frame_buffer()]
        if ours != baseline.load(str(path)):
            sys.exit(f"error: ravir and the baseline render {path} differently")


class Bench:
    def __init__(self, out, quick):
        self.out = out
        self.repeat = {"budget": 0.2 if quick else 1.0}
        self.rows = []
        self.targets = []

    def row(self, work, operation, measured, floor_parts=None, python=None):
        """`floor_parts` names the floors whose sum the operation is held against."""
        floor_parts = floor_parts or {}
        floor = sum(part.min for part in floor_parts.values()) or None
        self.rows.append({
            "workload": work.name, "operation": operation,
            "min_s": measured.min, "median_s": measured.median, "repeats": measured.repeats,
            "floor": " + ".join(floor_parts) or None, "floor_min_s": floor,
            "floor_parts_min_s": {name: part.min for name, part in floor_parts.items()},
            "ratio_to_floor": measured.min / floor if floor else None,
            "python_min_s": python.min if python else None,
            "speedup_over_python": python.min / measured.min if python else None,
        })
        return self.rows[-1]

    def target(self, work, what, value, unit, limit, at_most=True):
        self.targets.append({"workload": work.name, "target": what, "value": value, "unit": unit,
                             "limit": limit, "at_most": at_most,
                             "met": value <= limit if at_most else value >= limit})

    def single_file(self, work):
        path = str(work.files[0])
        check_against_baseline(work, work.files)
        image_bytes = work.image_bytes_per_file
        state = {}

        def fresh():
            state["f"] = None  # the old object and its images go before the clock starts
            state["f"] = ravir.OrvF()

        load = timing.measure(lambda: state["f"].load(path), setup=fresh, **self.repeat)
        read = timing.read_floor([path], **self.repeat)
        fill = timing.memset_floor(image_bytes, **self.repeat)
        python = timing.measure(lambda: baseline.load(path), min_repeats=3, budget=0)
        r = self.row(work, "load", load, {"read file": read, "memset images": fill}, python)
        self.target(work, "load / floor", r["ratio_to_floor"], "x", 3)
        self.target(work, "load speedup over Python", r["speedup_over_python"], "x", 100, at_most=False)

        f = state["f"]
        handout = timing.measure(f.get_frame_buffer, **self.repeat)
        self.row(work, "get_frame_buffer()", handout)
        self.target(work, "get_frame_buffer() per frame", handout.min / work.frames_per_file * US, "us", 2)

        frames = f.get_frame_buffer()
        copy = timing.memcpy_floor(image_bytes, **self.repeat)
        pixels = timing.measure(lambda: [fb.pixels for fb in frames][-1], **self.repeat)
        r = self.row(work, "pixels of every frame", pixels, {"memcpy images": copy})
        self.target(work, "pixels / memcpy", r["ratio_to_floor"], "x", 1.5)

        d = f.data()
        render = timing.measure(lambda: ravir.OrvFrameBuffer(d), **self.repeat)
        r = self.row(work, "OrvFrameBuffer(d)", render, {"memcpy images": copy})
        self.target(work, "OrvFrameBuffer(d) / memcpy", r["ratio_to_floor"], "x", 2)

        saved = self.out / "saved" / work.name
        (saved / "pal").mkdir(parents=True, exist_ok=True)
        target = str(saved / "anim.orv")
        save = timing.measure(lambda: f.save(target, str(saved), str(saved / "pal" / "game.pal")), **self.repeat)
        write = timing.write_floor(saved / "floor.orv", os.path.getsize(target), **self.repeat)
        r = self.row(work, "save", save, {"write file": write})
        self.target(work, "save / floor", r["ratio_to_floor"], "x", 3)

    def many_files(self, work):
        paths = [str(p) for p in work.files]
        check_against_baseline(work, work.files[:20])
        f = ravir.OrvF()

        def load_all():
            for path in paths:
                f.load(path)

        load = timing.measure(load_all, min_repeats=3, **self.repeat)
        read = timing.read_floor(paths, min_repeats=3, **self.repeat)
        # Each file's images are written on their own, in pieces that stay in the cache.
        fill = timing.memset_floor(work.image_bytes_per_file, **self.repeat).scaled(len(paths))
        sample = paths[:50]
        python = timing.measure(lambda: [baseline.load(p) for p in sample][-1], min_repeats=3, budget=0)
        python = python.scaled(len(paths) / len(sample))
        r = self.row(work, f"load {len(paths)} files", load, {"read files": read, "memset images": fill}, python)
        self.target(work, "animations per second", len(paths) / load.min, "/s", 2000, at_most=False)
        self.target(work, "load speedup over Python", r["speedup_over_python"], "x", 100, at_most=False)


    def two_threads(self, work, fresh=False):
        """Each file loaded and rendered again, by one thread in turn, then by a thread each;
        into a new OrvF at each load when `fresh`, else each into its own again."""
        paths = [str(p) for p in work.files]
        check_against_baseline(work, work.files[:1] if fresh else work.files)
        files = [ravir.OrvF() for _ in paths]  # each reloaded, so that both keep their storage

        def load_and_render(i):
            file = ravir.OrvF() if fresh else files[i]
            ravir.OrvFrameBuffer(file.load(paths[i]))

        def in_threads():
            threads = [threading.Thread(target=load_and_render, args=(i,)) for i in range(len(paths))]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()

        # A round takes some 35 ms, so the usual budget gives few rounds, and two threads
        # need both cores free at once: three times the budget steadies the minimum.
        repeat = {**self.repeat, "budget": 3 * self.repeat["budget"]}
        one, both = timing.measure_alternately([lambda: [load_and_render(i) for i in range(len(paths))], in_threads],
                                               **repeat)
        self.row(work, "load+render 1 thread", one)
        self.row(work, "load+render 2 threads", both)
        self.target(work, "2 threads over 1", one.min / both.min, "x", 1.6, at_most=False)


def fmt(value, scale=MS, digits=3):
    return "-" if value is None else f"{value * scale:.{digits}f}"


def print_tables(rows, targets):
    print(f"\n{'workload':<11} {'operation':<22} {'min ms':>10} {'median ms':>10} {'floor ms':>10}"
          f" {'x floor':>8} {'python ms':>10} {'speedup':>8}   floor")
    for r in rows:
        print(f"{r['workload']:<11} {r['operation']:<22} {fmt(r['min_s']):>10} {fmt(r['median_s']):>10}"
              f" {fmt(r['floor_min_s']):>10} {fmt(r['ratio_to_floor'], 1, 2):>8}"
              f" {fmt(r['python_min_s'], MS, 1):>10} {fmt(r['speedup_over_python'], 1, 0):>8}   {r['floor'] or ''}")
    print(f"\n{'workload':<11} {'target':<30} {'measured':>12} {'limit':>12}  result")
    for t in targets:
        sign = "<=" if t["at_most"] else ">="
        print(f"{t['workload']:<11} {t['target']:<30} {t['value']:>10.2f} {t['unit']:<2}"
              f" {sign} {t['limit']:>6} {t['unit']:<2}  {'met' if t['met'] else 'MISSED'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=Path("out/bench"))
    parser.add_argument("--json", type=Path)
    parser.add_argument("--quick", action="store_true", help="shorter repeats, for a smoke run")
    args = parser.parse_args()

    started = time.time()
    work = workloads.generate(args.out / "work")
    bench = Bench(args.out, args.quick)
    bench.single_file(work["sprites"])
    bench.single_file(work["background"])
    bench.many_files(work["many"])
    bench.two_threads(work["pair"])
    bench.two_threads(work["large"], fresh=True)

    info = machine()
    print(f"ravir {info['ravir']} ({info['commit']}), Python {info['python']}, "
          f"{info['cpu']}, {info['cores']} cores, load average {info['load_average'][0]:.2f}")
    print_tables(bench.rows, bench.targets)
    result = {"machine": info, "started": started, "seconds": time.time() - started,
              "rows": bench.rows, "targets": bench.targets}
    json_path = args.json or args.out / "results.json"
    json_path.write_text(json.dumps(result, indent=2) + "\n")
    print(f"\nevery figure: {json_path}")


if __name__ == "__main__":
    main()
