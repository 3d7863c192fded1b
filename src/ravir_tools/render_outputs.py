"""Everything `ravir render` writes for one animation: its frames as PNGs and the
manifest, and on request the sheet with its atlas, the Aseprite document and the
previews. Returns a record of the files, which the gallery shows."""

from __future__ import annotations

import os
from dataclasses import dataclass, field
from pathlib import Path

from ravir_tools import _native, atomic_file, durations, limits
from ravir_tools.animation import Animation
from ravir_tools.aseprite.to_document import document
from ravir_tools.aseprite.writer import write_document
from ravir_tools.batch import Report
from ravir_tools.errors import ToolError
from ravir_tools.exchange import png_chunks
from ravir_tools.exchange.atlas import atlas_json
from ravir_tools.exchange.json_files import dumps, load_json
from ravir_tools.exchange.manifest import FrameEntry, Manifest, digest, manifest_json
from ravir_tools.exchange.names import OutputNames, mask_of
from ravir_tools.frames import apng, gif, indexed, preview, sheet_layout
from ravir_tools.frames.images import png_bytes
from ravir_tools.frames.render_modes import IndexedFrames, RgbaFrames
from ravir_tools.frames.sheet_layout import SheetLayout
from ravir_tools.palettes.colors import colors_of


@dataclass(frozen=True)
class RenderOptions:
    indexed: bool = False  # palette-indexed PNGs holding each pixel's index, instead of RGBA
    sheet: bool = False
    sheet_layout: SheetLayout = SheetLayout()
    aseprite: bool = False
    gif: bool = False
    apng: bool = False
    scale: int = 1
    flip_offsets: bool = False  # previews take the offsets as the origin's place inside the frame
    duration: int | None = None  # milliseconds per preview and atlas frame; None: as the speed gives
    compress_level: int = 6
    verbose: bool = False  # each file written is told to the report as it is written
    max_pixels: int = limits.DEFAULT_MAX_PIXELS  # of any image drawn: a frame, the sheet, a preview's canvas

    def frame_duration(self, speed: int) -> int:
        """Milliseconds per preview and atlas frame of an animation at `speed`."""
        return self.duration if self.duration is not None else durations.duration_ms(speed)


@dataclass
class Written:
    """The files written for one animation, in the order they were written."""

    manifest: Manifest  # with each frame's PNG and gap mask
    sheet: Path | None = None
    sheet_mask: Path | None = None
    atlas: Path | None = None
    aseprite: Path | None = None
    gif: Path | None = None
    apng: Path | None = None
    files: list[Path] = field(default_factory=list)

    @property
    def frames(self) -> dict[int, Path]:
        """Each frame with pixels and its PNG."""
        return {i: entry.image for i, entry in enumerate(self.manifest.frames) if entry.image is not None}


def render_animation(anim: Animation, base: Path, options: RenderOptions, report: Report) -> Written:
    """Writes the outputs of `anim` under the names that `base` gives (exchange/names.py),
    each file replaced whole and all of them together; ToolError when any cannot be."""
    if anim.palette_error:
        raise ToolError(anim.path, anim.palette_error + " (name one with --palette)")
    for index, image in enumerate(anim.images):
        if image.width and image.height and not _native.has_pixels(image):
            raise ToolError(anim.path, f"frame {index} is {image.width}x{image.height}, more than one render "
                                       "may hold: nothing written")
    for warning in anim.warnings:
        report.warn(anim.path, warning)
    check_sizes(anim, options, report)
    names = OutputNames(base, len(anim.frames))
    earlier = earlier_frames(names)
    try:
        base.parent.mkdir(parents=True, exist_ok=True)
        with atomic_file.together():
            written = _Outputs(options, report, names).write(anim)
    except OSError as error:
        where = error.filename or base.parent
        raise ToolError(anim.path, f"cannot write {where}: {error.strerror or error}") from None
    for stale in earlier - set(written.files):
        try:
            stale.unlink(missing_ok=True)
        except OSError as error:
            report.warn(stale, f"is a frame of the earlier render, which this one no longer has, and cannot be "
                               f"removed: {error.strerror}")
    return written


def earlier_frames(names: OutputNames) -> set[Path]:
    """The frame PNGs and masks that the manifest of an earlier render of the same
    animation lists, as far as they are named as this animation's frames are: a
    manifest is read back, and must not name what a render removes."""
    if not names.manifest.is_file():
        return set()
    try:
        document = load_json(names.manifest)
    except ToolError:
        return set()  # not one that render wrote: nothing of it is ours to remove
    frames = document.get("frames") if isinstance(document, dict) else None
    listed = [frame.get(key) for frame in frames if isinstance(frame, dict)
              for key in ("image", "mask")] if isinstance(frames, list) else []
    folder = names.base.parent
    return {folder / name for name in listed if isinstance(name, str) and names.is_frame_file(name)}


def check_sizes(anim: Animation, options: RenderOptions, report: Report) -> None:
    """Refuses an animation any of whose images would be larger than the limit, from
    their sizes alone, before anything is drawn: each frame at its scale, the sheet,
    the previews' canvas (which a GIF holds only up to 65535 pixels a side)."""
    limit = limits.PixelLimit(options.max_pixels)
    scale = options.scale
    sizes = [(image.width * scale, image.height * scale) for image in anim.images]
    scaled = f" at scale {scale}" if scale > 1 else ""
    for index, (width, height) in enumerate(sizes):
        limit.check(anim.path, f"frame {index}{scaled}", width, height, report.warn)
    if options.sheet:
        try:
            sheet, _ = sheet_layout.layout(sizes, options.sheet_layout)
        except ValueError as error:
            raise ToolError(anim.path, f"cannot lay out the sheet: {error}") from None
        limit.check(anim.path, f"the sheet{scaled}", *sheet, report.warn)
    layout = preview.placement(sizes, anim.frames, scale, options.flip_offsets)
    if layout is None or not (options.gif or options.apng):
        return
    (width, height), _ = layout
    limit.check(anim.path, f"the preview canvas{scaled}", width, height, report.warn)
    if options.gif:
        gif.check_size(anim.path, (width, height))


class _Outputs:
    def __init__(self, options: RenderOptions, report: Report, names: OutputNames):
        self.options, self.report, self.names = options, report, names
        # The frames' PNGs, which the APNG preview takes as they are, when it shows them in RGBA.
        self.keep_pngs = options.apng and not options.indexed
        self.pngs: dict[int, bytes] = {}

    def wrote(self, written: Written, path: Path) -> Path:
        written.files.append(path)
        if self.options.verbose:
            self.report.out(str(path))
        return path

    def write(self, anim: Animation) -> Written:
        options = self.options
        written = Written(self.manifest_of(anim))
        if options.aseprite:
            self.write_aseprite(written, anim)
        frames = IndexedFrames(anim, options.scale) if options.indexed else RgbaFrames(anim, options.scale)
        self.write_frames(written, frames)
        if options.sheet:
            self.write_sheet(written, frames)
        self.write_json(written, self.names.manifest, manifest_json(written.manifest))
        self.write_previews(written, anim, frames)
        return written

    def manifest_of(self, anim: Animation) -> Manifest:
        """The manifest, frames without their files yet."""
        info = anim.data.info
        frames = [FrameEntry(f.width, f.height, f.x_offset, f.y_offset, bool(f.is_shadow)) for f in anim.frames]
        return Manifest(
            path=self.names.manifest, speed=info.speed, background=anim.data.has_background,
            render="indexed" if self.options.indexed else "rgba", scale=self.options.scale,
            palette_location=anim.location, palette_file=Path(anim.palette_path) if anim.palette_path else None,
            source=Path(os.path.abspath(anim.path)), source_sha256=digest(anim.path), frames=frames)

    def write_frames(self, written: Written, frames: RgbaFrames | IndexedFrames) -> None:
        described = written.manifest
        masked = []
        for index, entry in enumerate(described.frames):
            if not (entry.width and entry.height):
                continue  # the manifest keeps it; there are no pixels to show
            entry.image = self.names.frame(index)
            image, entry.gap_index, mask = frames.frame(index)
            chunks = png_chunks.png_info({
                "animation": self.names.base.name, "frame": index, "offset_x": entry.x_offset,
                "offset_y": entry.y_offset, "shadow": entry.shadow, "gap_index": entry.gap_index,
                "render": described.render, "background": described.background and index == len(described.frames) - 1})
            with atomic_file.replacing(entry.image) as stream:
                data = png_bytes(image, pnginfo=chunks, compress_level=self.options.compress_level,
                                 **indexed.save_options(entry.gap_index))
                stream.write(data)
            if self.keep_pngs:
                self.pngs[index] = data
            self.wrote(written, entry.image)
            if mask is not None:
                entry.mask = mask_of(entry.image)
                atomic_file.write_image(entry.mask, mask)
                self.wrote(written, entry.mask)
                masked.append(index)
        if len(masked) == 1:
            entry = described.frames[masked[0]]
            self.warn_mask(described, f"frame {masked[0]}", entry.gap_index, entry.mask)
        elif masked:
            listed = ", ".join(map(str, masked[:5])) + (", ..." if len(masked) > 5 else "")
            self.report.warn(described.source, f"{len(masked)} frames ({listed}) draw all 256 indices and have gaps: "
                                               "editors show the gaps of each and its pixels of its gap index alike "
                                               f"as transparent; the masks {self.names.base}_NNN.mask.png tell them "
                                               "apart for pack")

    def write_aseprite(self, written: Written, anim: Animation) -> None:
        doc, warnings = document(anim, written.manifest)
        for warning in warnings:
            self.report.warn(anim.path, warning)
        try:
            data = write_document(doc)
        except ValueError as error:
            raise ToolError(anim.path, f"cannot be written as an Aseprite document: {error}") from None
        atomic_file.write_bytes(self.names.aseprite, data)
        written.aseprite = self.wrote(written, self.names.aseprite)

    def write_sheet(self, written: Written, frames: RgbaFrames | IndexedFrames) -> None:
        described = written.manifest
        for entry in described.frames:
            entry.name = entry.image.name if entry.image else None
        # Laid out once already, by check_sizes, which refuses a sheet that cannot be.
        (image, gap, mask), corners = frames.sheet(self.options.sheet_layout)
        path = self.names.sheet
        atomic_file.write_image(path, image, compress_level=self.options.compress_level, **indexed.save_options(gap))
        written.sheet = self.wrote(written, path)
        if mask is not None:
            written.sheet_mask = mask_of(path)
            atomic_file.write_image(written.sheet_mask, mask)
            self.wrote(written, written.sheet_mask)
            self.warn_mask(described, "the sheet", gap, written.sheet_mask)
        document = atlas_json(described, corners, sheet=path, size=image.size,
                              duration=self.options.frame_duration(described.speed), gap_index=gap,
                              mask=written.sheet_mask)
        written.atlas = self.write_json(written, self.names.atlas, document)

    def warn_mask(self, described: Manifest, what: str, gap: int, mask: Path) -> None:
        self.report.warn(described.source, f"{what} draws all 256 indices and has gaps: editors show its gaps and "
                                           f"its pixels of index {gap} alike as transparent; {mask} tells them apart "
                                           "for pack")

    def write_previews(self, written: Written, anim: Animation, frames: RgbaFrames | IndexedFrames) -> None:
        options = self.options
        if not (options.gif or options.apng):
            return
        scale = options.scale
        sizes = [(image.width * scale, image.height * scale) for image in anim.images]
        shown = preview.preview(sizes, anim.frames, anim.data.has_background, scale, options.flip_offsets)
        if shown is None:
            return
        duration = options.frame_duration(anim.data.info.speed)
        if options.gif:
            self.write_gif(anim, shown, frames.frame_pixels(), duration)
            written.gif = self.wrote(written, self.names.gif)
        if options.apng:
            shots = apng.shot_pngs(shown, anim.images, scale, self.pngs, options.compress_level)
            apng.write_apng(self.names.apng, shown.size, shots, len(shown.shots), duration)
            written.apng = self.wrote(written, self.names.apng)

    def write_gif(self, anim: Animation, shown: preview.Preview, pixels: list[indexed.FramePixels],
                  duration: int) -> None:
        colors = gif.gif_colors(colors_of(anim.data.palette), pixels)
        if colors.merged is not None:
            entry, count = colors.merged
            self.report.warn(anim.path, f"the GIF preview: every palette entry is drawn, and GIF has one transparent "
                                        f"index: entry {entry}, the least used ({count} pixels), shows transparent")
        layers = [gif.gif_layer(frame, colors) if frame.width and frame.height else None for frame in pixels]
        gif.write_gif(self.names.gif, shown, layers, colors, self.options.scale, duration)

    def write_json(self, written: Written, path: Path, document: dict) -> Path:
        atomic_file.write_text(path, dumps(document))
        return self.wrote(written, path)
