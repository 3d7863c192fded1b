"""One animation's part of a gallery: the files `ravir render` writes for it, its
page, and the entry that the index and the next run are built from. Runs in a
worker process of the batch runner."""

from __future__ import annotations

from pathlib import Path

from ravir_tools import animation, atomic_file
from ravir_tools.batch import Input, Report
from ravir_tools.commands.gallery import pages
from ravir_tools.commands.gallery.site import FILES, Place, relative
from ravir_tools.commands.gallery.state import stamp
from ravir_tools.errors import ToolError
from ravir_tools.frames import preview
from ravir_tools.palettes.colors import colors_of
from ravir_tools.palettes.registry import Palette
from ravir_tools.render_outputs import RenderOptions, Written, render_animation


class Work:
    def __init__(self, site: Path, flip: bool, palette: Palette | None, max_pixels: int):
        self.site = site
        self.flip = flip
        self.palette = palette
        # What `ravir render --apng` writes. No sheet: its pixels would cost as much
        # to encode again as the frames' PNGs, which the page shows already.
        self.options = RenderOptions(apng=True, flip_offsets=flip, max_pixels=max_pixels)

    def __call__(self, item: Input, report: Report) -> None:
        # The page and the files it shows go to the disk with one flush.
        with atomic_file.together():
            self.redo(item, report)

    def redo(self, item: Input, report: Report) -> None:
        place = Place.of(item)
        source = stamp(item.path)
        try:
            if item.clash is not None:
                raise ToolError(item.path, f"its files would take the names of those of {item.clash}: rename one "
                                           "of them")
            anim = animation.load(item.path, self.palette, item.game)
        except ToolError as error:
            self.finish(report, place, pages.Broken(place, str(error)), [source] if source else [], [])
            return
        animation.tell_ignored_case(anim, report)
        # Without a palette file to watch, the next run looks for one again.
        palette = stamp(anim.palette_path) if anim.palette_path else None
        inputs = [source, palette] if source and palette else []
        error = f"{item.path}: {anim.palette_error}" if anim.palette_error else None
        written = None
        if error is None:
            try:
                # What it says of the file, the page's messages show.
                written = render_animation(anim, self.site / FILES / item.name, self.options, Report())
            except ToolError as failure:
                error = str(failure)
        view = self.view(place, anim, written, error)
        files = [relative(path, self.site) for path in written.files] if written else []
        self.finish(report, place, view, inputs, files)

    def view(self, place: Place, anim: animation.Animation, written: Written | None, error: str | None) -> pages.View:
        frame_pngs, others, preview_file = {}, [], None
        if written is not None:
            frame_pngs = {index: relative(path, self.site) for index, path in written.frames.items()}
            others = [relative(path, self.site) for path in written.files if path not in written.frames.values()]
            preview_file = relative(written.apng, self.site) if written.apng else None
        sizes = [(anim.images[index].width, anim.images[index].height) if index in frame_pngs else (0, 0)
                 for index in range(len(anim.frames))]
        layout = preview.placement(sizes, anim.frames, 1, self.flip)
        shown, behind = preview.sequence(len(anim.frames), anim.data.has_background)
        colors = colors_of(anim.data.palette)
        messages = anim.warnings + ([anim.palette_error] if anim.palette_error else [])
        return pages.View(place, error, animation.summary(anim), frame_pngs, others, preview_file, sizes, layout,
                          list(shown), behind, self.options.frame_duration(anim.data.info.speed), colors,
                          messages)

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
