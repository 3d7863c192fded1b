"""Threads sharing one OrvF, its tree, its elements and its palette: calls on one
animation are serialised, so every result is one that some order of the calls gives,
an element of a replaced tree raises ReferenceError, and nothing crashes. `make
check` runs these under AddressSanitizer, which fails on any touch of freed memory."""

import gc
import os
import subprocess
import sys
import textwrap
import threading

import ravir

from tests.support.orv_bytes import Frame

ROUNDS = 40


def sprite(width, height, seed, shadow=False):
    rows = []
    for y in range(height):
        length = 1 + (y * 7 + seed) % (width - 1)
        rows.append([(y % 2, length)] if shadow else [(y % 2, [(seed + x + y) % 256 for x in range(length)])])
    return Frame(width=width, rows=rows, shadow=shadow, x_offset=-seed, y_offset=seed)


FIRST = [sprite(48, 40, 3), sprite(40, 48, 9), sprite(32, 16, 5, shadow=True)]
SECOND = [sprite(56, 24, 11), sprite(24, 56, 1)]


def snapshot(data):
    """The tree as plain values, walked through its element objects."""
    return [(f.width, f.height, f.x_offset, f.y_offset, f.is_shadow,
             [[(b.offset, b.color_count, b.colors) for b in r.blocks] for r in f.pixel_sets])
            for f in data.frames]


def pixels(images):
    return [(image.width, image.height, image.pixels) for image in images]


def run_together(*workers):
    """Runs each worker in a thread of its own, started at once; re-raises the first failure."""
    start = threading.Barrier(len(workers))
    failures = []

    def run(worker):
        start.wait()
        try:
            worker()
        except BaseException as error:  # noqa: BLE001 - handed to the test's thread
            failures.append(error)

    threads = [threading.Thread(target=run, args=(worker,)) for worker in workers]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failures:
        raise failures[0]


def reference(project):
    """Each file's path with its tree, its images and the bytes it saves to, taken alone."""
    files = {}
    for name, frames in (("first", FIRST), ("second", SECOND)):
        path = str(project.animation(frames, name=f"{name}.orv", speed=len(frames)))
        f = ravir.OrvF()
        d = f.load(path)
        out = project.root / "reference" / name
        out.mkdir(parents=True)
        f.save(str(out / "x.orv"), str(project.root), str(project.root / "pal" / "a.pal"))
        files[name] = (path, snapshot(d), pixels(f.get_frame_buffer()), (out / "x.orv").read_bytes())
    return files


def test_one_animation_shared_by_threads_gives_consistent_results(project):
    files = reference(project)
    trees = [tree for _, tree, _, _ in files.values()]
    renders = [images for _, _, images, _ in files.values()]
    saved = [content for _, _, _, content in files.values()]
    f = ravir.OrvF()
    d = f.load(files["first"][0])
    stale = []

    def loader():
        for i in range(ROUNDS):
            assert f.load(files["second" if i % 2 == 0 else "first"][0]) is d
            assert d.info.frame_count in (len(FIRST), len(SECOND))

    def walker():
        for _ in range(ROUNDS):
            try:
                assert snapshot(d) in trees
            except ReferenceError:
                stale.append(True)

    def renderer():
        for _ in range(ROUNDS):
            assert pixels(ravir.OrvFrameBuffer(d).get_buffer()) in renders
            assert pixels(f.get_frame_buffer()) in renders

    def saver():
        target = project.root / "saved" / "x.orv"
        target.parent.mkdir()
        for _ in range(ROUNDS):
            f.save(str(target), str(project.root), str(project.root / "pal" / "a.pal"))
            assert target.read_bytes() in saved

    def recolorer():
        palette = d.palette
        for _ in range(ROUNDS):
            palette.colors(palette.colors())  # the same colors: every render stays comparable
            palette.color_model(0)
            assert palette.get_color(7).r == 7 and palette.load(str(project.root / "pal" / "a.pal")) == 1

    run_together(loader, walker, renderer, saver, recolorer)
    assert f.load(files["first"][0]) is d
    assert snapshot(d) == trees[0] and pixels(f.get_frame_buffer()) == renders[0]


def test_tree_and_palette_outlive_their_file_object_while_threads_use_them(project):
    path, tree, images, _ = reference(project)["first"]
    f = ravir.OrvF()
    d = f.load(path)
    palette = d.palette
    destroyed = threading.Event()

    def until_after_destroyed(step):
        """Runs `step` until some rounds after the OrvF is gone; once it saw no frames,
        it must see none ever after."""
        emptied = False
        after = 0
        while after < 10:
            after += destroyed.is_set()
            try:
                empty = step()
            except ReferenceError:
                empty = False
            assert not (emptied and not empty)
            emptied = emptied or empty

    def render():
        result = pixels(ravir.OrvFrameBuffer(d).get_buffer())
        assert result in (images, [])
        return result == []

    def walk():
        result = snapshot(d)
        assert result in (tree, [])
        return result == []

    def recolor():
        palette.colors(palette.colors())
        return False

    def destroy():
        nonlocal f
        for _ in range(5):
            render()
        f = None
        gc.collect()
        destroyed.set()

    run_together(lambda: until_after_destroyed(render), lambda: until_after_destroyed(walk),
                 lambda: until_after_destroyed(recolor), destroy)
    assert d.frames == [] and d.info.frame_count == len(FIRST)
    assert len(palette.colors()) == 256 and d.palette is palette


# Loads the animation from a FIFO in a thread: the load waits in the core until this
# script writes the file, which it can do only if the load let go of the GIL. Another
# OrvF loads meanwhile.
WAITING_LOAD = textwrap.dedent("""
    import os, sys, threading
    import ravir

    fifo, path = sys.argv[1:]
    f = ravir.OrvF()
    results = []
    reader = threading.Thread(target=lambda: results.append(f.load(fifo)))
    reader.start()
    with open(fifo, "wb") as pipe:  # opens once the load has opened its end
        other = ravir.OrvF()
        assert other.load(path) is not None
        with open(path, "rb") as source:
            pipe.write(source.read())
    reader.join()
    assert results[0] is f.data()
    assert [image.pixels for image in f.get_frame_buffer()] == [image.pixels for image in other.get_frame_buffer()]
    print("done")
""")


def test_a_load_waiting_for_its_file_lets_other_threads_run(project, tmp_path):
    path = project.animation(FIRST)
    fifo = tmp_path / "pipe.orv"
    os.mkfifo(fifo)
    result = subprocess.run([sys.executable, "-c", WAITING_LOAD, str(fifo), str(path)], capture_output=True,
                            text=True, timeout=120, cwd=project.root)
    assert result.returncode == 0 and result.stdout == "done\n", result.stderr
