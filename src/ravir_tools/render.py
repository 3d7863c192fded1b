"""`ravir render`: every frame as a PNG, and on request a sprite sheet with its
atlas, an Aseprite document and animated previews."""

from __future__ import annotations

import os
from pathlib import Path

from PIL import Image

from ravir_tools import (_native, animation, aseprite_export, atomic_file, frame_chunks, indexed_frames, manifest,
                         preview, sheet)
from ravir_tools.aseprite_writer import write_document
from ravir_tools.batch import Batch, Found
from ravir_tools.errors import ToolError
from ravir_tools.images import frame_image, save_image
from ravir_tools.parsing import add_command, add_jobs, positive_int

EXAMPLES = """\
  ravir render anim/walk.orv -o out/             # out/walk_000.png, ... and the manifest out/walk.json
  ravir render anim/walk.orv -o out/ --indexed   # indexed PNGs to edit; then: ravir pack out/walk.json -o new.orv
  ravir render game/anim -o out/ --sheet --gif   # plus walk_sheet.png, its atlas walk_sheet.json, walk.gif
  ravir render anim/walk.orv -o out/ --aseprite  # plus out/walk.aseprite; then: ravir pack out/walk.aseprite -o new.orv
  ravir render walk.orv -o out/ --apng --scale 4 --palette pal/night.pal

Files found in a folder keep their place below it: game/anim/a/x.orv gives out/a/x_000.png.
Previews place each frame's top-left corner at its offsets from a common origin;
--flip-offsets takes the offsets as the origin's place inside the frame instead.
"""


def register(commands) -> None:
    parser = add_command(commands, "render", "write frames as PNG images, sheets and previews",
                         "Renders every frame of each animation as a PNG (RGBA, or with --indexed "
                         "the palette indices themselves) and writes a manifest, NAME.json, that `ravir "
                         "pack` builds the animation back from. Folders are searched for .orv files.", EXAMPLES)
    parser.add_argument("files", nargs="+", metavar="FILE", help="animation files or folders")
    parser.add_argument("-o", "--output", required=True, type=Path, metavar="DIR", help="folder to write into")
    parser.add_argument("--indexed", action="store_true",
                        help="write palette-indexed PNGs holding each pixel's palette index exactly")
    parser.add_argument("--sheet", action="store_true", help="also write a sprite sheet and its JSON atlas")
    parser.add_argument("--aseprite", action="store_true",
                        help="also write an indexed Aseprite document, NAME.aseprite, a frame per frame, each "
                             "lasting the speed in milliseconds (not scaled)")
    parser.add_argument("--gif", action="store_true", help="also write an animated GIF preview")
    parser.add_argument("--apng", action="store_true", help="also write an animated PNG preview (lossless)")
    parser.add_argument("--palette", type=Path, metavar="PAL", help="use this palette instead of the file's")
    parser.add_argument("--scale", type=positive_int, default=1, metavar="N",
                        help="enlarge N times, nearest neighbour (default 1)")
    parser.add_argument("--flip-offsets", action="store_true", help="negate the offsets when aligning previews")
    parser.add_argument("--duration", type=positive_int, default=100, metavar="MS",
                        help="milliseconds per preview frame (default 100)")
    parser.add_argument("--compress-level", type=int, choices=range(10), default=6, metavar="0-9",
                        help="PNG compression: 0 is fastest and largest, 9 smallest and slowest (default 6)")
    parser.add_argument("-v", "--verbose", action="store_true", help="print each file written")
    add_jobs(parser)
    parser.set_defaults(run=run)


class Renderer:
    """The work on one animation."""

    def __init__(self, args):
        self.args = args

    def output_base(self, item) -> Path:
        base = self.args.output / item.name
        if item.clash is not None:
            raise ToolError(item.path, f"its output {base}_* would overwrite that of {item.clash}")
        base.parent.mkdir(parents=True, exist_ok=True)
        return base

    def __call__(self, item, report) -> None:
        args = self.args
        anim = animation.load(item.path, args.palette)
        if anim.palette_error:
            raise ToolError(item.path, anim.palette_error + " (name one with --palette)")
        for index, image in enumerate(anim.images):
            if image.width and image.height and not _native.has_pixels(image):
                raise ToolError(item.path, f"frame {index} is {image.width}x{image.height}, more than one render "
                                           "may hold: nothing written")
        for warning in anim.warnings:
            report.warn(item.path, warning)
        try:
            base = self.output_base(item)
            with atomic_file.together():
                Outputs(args, report).write(anim, base)
        except OSError as error:
            where = error.filename or args.output
            raise ToolError(item.path, f"cannot write {where}: {error.strerror or error}") from None


class Outputs:
    """Everything written for one animation, told to its report."""

    def __init__(self, args, report):
        self.args = args
        self.report = report

    def wrote(self, path: Path) -> None:
        if self.args.verbose:
            self.report.out(str(path))

    def write(self, anim: animation.Animation, base: Path) -> None:
        args = self.args
        described = self.describe(anim, base)
        if args.aseprite:
            self.write_aseprite(base, anim, described)
        written = IndexedFrames(anim, args.scale) if args.indexed else RgbaFrames(anim, args.scale)
        self.write_frames(described, written)
        if args.sheet:
            self.write_sheet(base, described, written)
        self.write_json(described.path, manifest.manifest_json(described))
        self.write_previews(base, anim, written)

    def describe(self, anim: animation.Animation, base: Path) -> manifest.Manifest:
        """The manifest, frames without their files yet."""
        info = anim.data.info
        frames = [manifest.FrameEntry(f.width, f.height, f.x_offset, f.y_offset, bool(f.is_shadow))
                  for f in anim.frames]
        return manifest.Manifest(
            path=Path(f"{base}.json"), speed=info.speed, background=anim.data.has_background,
            render="indexed" if self.args.indexed else "rgba", scale=self.args.scale,
            palette_location=anim.location, palette_file=Path(anim.palette_path) if anim.palette_path else None,
            source=Path(os.path.abspath(anim.path)), source_sha256=manifest.digest(anim.path), frames=frames)

    def write_frames(self, described: manifest.Manifest, written) -> None:
        digits = max(3, len(str(len(described.frames) - 1)))
        base = described.path.with_suffix("")
        masked = []
        for index, entry in enumerate(described.frames):
            if not (entry.width and entry.height):
                continue  # the manifest keeps it; there are no pixels to show
            entry.image = Path(f"{base}_{index:0{digits}d}.png")
            image, entry.gap_index, mask = written.frame(index)
            chunks = frame_chunks.png_info({
                "animation": base.name, "frame": index, "offset_x": entry.x_offset, "offset_y": entry.y_offset,
                "shadow": entry.shadow, "gap_index": entry.gap_index, "render": described.render,
                "background": described.background and index == len(described.frames) - 1})
            save_image(image, entry.image, pnginfo=chunks, compress_level=self.args.compress_level,
                       **indexed_frames.save_options(entry.gap_index))
            self.wrote(entry.image)
            if mask is not None:
                entry.mask = entry.image.with_suffix(".mask.png")
                save_image(mask, entry.mask)
                self.wrote(entry.mask)
                masked.append(index)
        if len(masked) == 1:
            entry = described.frames[masked[0]]
            self.warn_mask(described, f"frame {masked[0]}", entry.gap_index, entry.mask)
        elif masked:
            listed = ", ".join(map(str, masked[:5])) + (", ..." if len(masked) > 5 else "")
            self.report.warn(described.source, f"{len(masked)} frames ({listed}) draw all 256 indices and have gaps: "
                                               "editors show the gaps of each and its pixels of its gap index alike "
                                               f"as transparent; the masks {base}_NNN.mask.png tell them apart "
                                               "for pack")

    def write_aseprite(self, base: Path, anim: animation.Animation, described: manifest.Manifest) -> None:
        doc, warnings = aseprite_export.document(anim, described)
        for warning in warnings:
            self.report.warn(anim.path, warning)
        path = Path(f"{base}.aseprite")
        try:
            data = write_document(doc)
        except ValueError as error:
            raise ToolError(anim.path, f"cannot be written as an Aseprite document: {error}") from None
        atomic_file.write_bytes(path, data)
        self.wrote(path)

    def write_sheet(self, base: Path, described: manifest.Manifest, written) -> None:
        names = [entry.image.name if entry.image else None for entry in described.frames]
        for entry, name in zip(described.frames, names):
            entry.name = name
        image, images, corners, gap, mask = written.sheet()
        path = Path(f"{base}_sheet.png")
        save_image(image, path, compress_level=self.args.compress_level, **indexed_frames.save_options(gap))
        self.wrote(path)
        mask_path = None
        if mask is not None:
            mask_path = path.with_suffix(".mask.png")
            save_image(mask, mask_path)
            self.wrote(mask_path)
            self.warn_mask(described, "the sheet", gap, mask_path)
        document = sheet.atlas(names, images, corners, animation=base.name, sheet_name=path.name, size=image.size,
                               scale=self.args.scale, indexed=self.args.indexed, duration=self.args.duration,
                               background=described.background)
        document["ravir"] = manifest.sheet_json(described, gap, mask_path)
        self.write_json(path.with_suffix(".json"), document)

    def warn_mask(self, described: manifest.Manifest, what: str, gap: int, mask: Path) -> None:
        self.report.warn(described.source, f"{what} draws all 256 indices and has gaps: editors show its gaps and "
                                           f"its pixels of index {gap} alike as transparent; {mask} tells them apart "
                                           "for pack")

    def write_previews(self, base: Path, anim: animation.Animation, written) -> None:
        args = self.args
        if not (args.gif or args.apng):
            return
        previews = preview.canvases(written.rgba_images(), anim.frames, anim.data.has_background, args.scale,
                                    args.flip_offsets)
        for wanted, suffix, save in ((args.gif, ".gif", preview.save_gif), (args.apng, ".apng", preview.save_apng)):
            if wanted and previews:
                path = Path(f"{base}{suffix}")
                save(path, previews, args.duration)
                self.wrote(path)

    def write_json(self, path: Path, document: dict) -> None:
        atomic_file.write_text(path, manifest.dumps(document))
        self.wrote(path)


class RgbaFrames:
    """The frames as the renderer drew them: the palette's own colors, alpha included."""

    def __init__(self, anim: animation.Animation, scale: int):
        self.images = [frame_image(frame, scale) for frame in anim.images]

    def frame(self, index: int):
        return self.images[index], None, None

    def sheet(self):
        size, corners = sheet.layout([image.size for image in self.images])
        return sheet.compose(Image.new("RGBA", size), self.images, corners), self.images, corners, None, None

    def rgba_images(self) -> list[Image.Image]:
        return self.images


class IndexedFrames:
    """The frames as the indices they draw (indexed_frames)."""

    def __init__(self, anim: animation.Animation, scale: int):
        self.anim, self.scale = anim, scale
        self.colors = indexed_frames.palette_colors(anim.data)
        self.shadow_index = indexed_frames.darkest(self.colors)
        self.pixels = [indexed_frames.frame_pixels(anim.data, i) for i in range(len(anim.frames))]

    def scaled(self, image: Image.Image) -> Image.Image:
        if self.scale == 1:
            return image
        return image.resize((image.width * self.scale, image.height * self.scale), Image.Resampling.NEAREST)

    def image(self, frame, gap):
        return self.scaled(indexed_frames.frame_image(frame, self.colors, gap, self.shadow_index))

    def frame(self, index: int):
        frame = self.pixels[index]
        gap, needs_mask = indexed_frames.choose_gap(indexed_frames.used_counts([frame], self.shadow_index),
                                                    frame.has_gaps)
        size = (frame.width * self.scale, frame.height * self.scale)
        mask = self.mask([frame], [(0, 0)], size) if needs_mask else None
        return self.image(frame, gap), gap, mask

    def mask(self, frames, corners, size) -> Image.Image:
        masks = [self.scaled(indexed_frames.drawn_mask(frame)) for frame in frames]
        return sheet.compose(Image.new("L", size), masks, corners).convert("1", dither=Image.Dither.NONE)

    def sheet(self):
        drawn = [i for i, frame in enumerate(self.pixels) if frame.width and frame.height]
        gap, needs_mask = indexed_frames.choose_gap(
            indexed_frames.used_counts([self.pixels[i] for i in drawn], self.shadow_index), True)
        images = [self.image(frame, gap) if i in drawn else Image.new("P", (0, 0))
                  for i, frame in enumerate(self.pixels)]
        size, corners = sheet.layout([image.size for image in images])
        image = sheet.compose(indexed_frames.paletted(size, self.colors, gap), images, corners)
        mask = None
        if needs_mask:
            mask = self.mask([self.pixels[i] for i in drawn], [corners[i] for i in drawn], size)
        return image, images, corners, gap, mask

    def rgba_images(self) -> list[Image.Image]:
        return [frame_image(frame, self.scale) for frame in self.anim.images]


def run(args) -> int:
    batch = Batch("ravir render", Found(args.files, ".orv"), args.jobs)
    if args.palette is not None:
        try:
            args.palette = animation.read_palette(args.palette, batch.warn)
        except ToolError as error:
            batch.say(str(error))
            return 1
    return batch.run(Renderer(args))
