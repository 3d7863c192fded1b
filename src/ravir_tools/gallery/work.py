"""One animation's part of a gallery: the files `ravir render` writes for it, its
page, and the entry that the index and the next run are built from. Runs in a
worker process of the batch runner."""

from __future__ import annotations

import argparse
import re
from pathlib import Path

from ravir_tools import animation, atomic_file, info, preview, render
from ravir_tools.batch import Input, Report
from ravir_tools.errors import ToolError
from ravir_tools.gallery import pages
from ravir_tools.gallery.site import FILES, Place, relative
from ravir_tools.gallery.state import stamp


def render_options(output: Path, flip: bool) -> argparse.Namespace:
    """The options of `ravir render FILE -o OUTPUT --sheet --apng --verbose`: the
    gallery shows what that command writes, as its verbose lines list it."""
    commands = argparse.ArgumentParser().add_subparsers()
    render.register(commands)
    argv = ["-", "-o", str(output), "--sheet", "--apng", "--verbose"] + (["--flip-offsets"] if flip else [])
    return commands.choices["render"].parse_args(argv)


class Work:
    def __init__(self, site: Path, flip: bool, palette: animation.Palette | None):
        self.site = site
        self.flip = flip
        self.palette = palette
        options = render_options(site / FILES, flip)
        options.palette = palette
        self.renderer = render.Renderer(options)

    def __call__(self, item: Input, report: Report) -> None:
        place = Place.of(item)
        source = stamp(item.path)
        try:
            anim = animation.load(item.path, self.palette)
        except ToolError as error:
            self.finish(report, place, pages.Broken(place, str(error)), [source] if source else [], [])
            return
        # Without a palette file to watch, the next run looks for one again.
        palette = stamp(anim.palette_path) if anim.palette_path else None
        inputs = [source, palette] if source and palette else []
        error = f"{item.path}: {anim.palette_error}" if anim.palette_error else None
        written: list[str] = []
        if error is None:
            try:
                written = self.rendered(item)
            except ToolError as failure:
                error = str(failure)
        view = self.view(item, place, anim, written, error)
        self.finish(report, place, view, inputs, written)

    def rendered(self, item: Input) -> list[str]:
        """Renders the animation as `ravir render` does, and names the files written."""
        lines = Report()
        self.renderer(item, lines)
        return [relative(Path(text), self.site) for to_error, text in lines.lines if not to_error]

    def view(self, item: Input, place: Place, anim: animation.Animation, written: list[str],
             error: str | None) -> pages.View:
        frame_file = re.compile(re.escape(item.name.name) + r"_(\d+)\.png")
        frame_pngs = {}
        others = []
        for name in written:
            match = frame_file.fullmatch(name.rsplit("/", 1)[-1])
            if match:
                frame_pngs[int(match[1])] = name
            else:
                others.append(name)
        sizes = [(anim.images[index].width, anim.images[index].height) if index in frame_pngs else (0, 0)
                 for index in range(len(anim.frames))]
        layout = preview.placement(sizes, anim.frames, 1, self.flip)
        shown, behind = preview.sequence(len(anim.frames), anim.data.has_background)
        colors = [(c.r, c.g, c.b, c.a) for c in anim.data.palette.colors()]
        messages = anim.warnings + ([anim.palette_error] if anim.palette_error else [])
        return pages.View(place, error, info.describe(anim), frame_pngs, others, sizes, layout, list(shown), behind,
                          self.renderer.args.duration, colors, messages)

    def finish(self, report: Report, place: Place, view: pages.View | pages.Broken, inputs: list,
               written: list[str]) -> None:
        page = self.site / place.page
        try:
            page.parent.mkdir(parents=True, exist_ok=True)
            atomic_file.write_text(page, view.html())
        except OSError as error:
            raise ToolError(page, f"cannot write: {error.strerror}") from None
        report.result = {"page": place.page, "card": view.card(), "inputs": inputs, "files": written + [place.page]}
        if view.error:
            report.fail(view.error)
