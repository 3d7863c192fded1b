"""An indexed Aseprite file as a Document, whether ravir wrote it or Aseprite saved it.

Aseprite adds chunks after an edit (color profile, old palettes, cel extras, slices,
external files, masks, paths); the reader takes the palette, layers, tags, cels and
user data and skips the rest by size. It is bounded: every size and count is checked
against the bytes left before it is used, a cel may claim no more pixels than its
compressed bytes can inflate to, and the cels together no more than max_pixel_bytes.
Whatever is damaged or not supported (other color depths, tilemaps, a palette that
changes between frames) raises DocumentError naming the frame.
"""

from __future__ import annotations

import struct
import zlib
from collections import deque
from typing import Callable, NoReturn

from ravir_tools import limits

from ravir_tools.aseprite.document import (
    CEL, CEL_LINK, CEL_SIZE, CHUNK_HEADER, FRAME_HEADER, FRAME_MAGIC, HEADER, INDEXED_DEPTH, LAYER,
    LAYER_OPACITY_VALID, MAGIC, MAX_COLORS, OLD_PALETTE_PACKET, PALETTE, PALETTE_ENTRY, PROPERTIES_SIZE,
    RGB, RGBA, TAG, TAGS, USER_DATA_FLAGS, WORD, Cel, CelType, Chunk, Document, DocumentError, Frame,
    Layer, LayerType, Tag, UserData,
)

DEFLATE_MAX_RATIO = 1032  # deflate expands at most 258 bytes from a 2-bit code
NEW_ENTRY = (0, 0, 0, 255)
DEPTH_NAMES = {32: "RGB", 16: "grayscale"}

# Aseprite saves these between an object and its user data (the old palette after the
# palette, a cel's extra after the cel), so they leave the owner of the next user data as it is.
KEEPS_OWNER = {Chunk.OLD_PALETTE, Chunk.OLD_PALETTE_6BIT, Chunk.CEL_EXTRA, Chunk.COLOR_PROFILE,
               Chunk.EXTERNAL_FILES}


def read_document(data: bytes, *, max_pixel_bytes: int = limits.MAX_DOCUMENT_PIXEL_BYTES) -> Document:
    view = memoryview(data)
    if len(view) < 6 or WORD.unpack_from(view, 4)[0] != MAGIC:
        raise DocumentError("not an Aseprite document (its header lacks the magic number A5E0)")
    (_size, _magic, frame_count, width, height, depth, flags, speed, _, _, transparent_index,
     *_) = _Span(view, "the header", None).read(HEADER)
    if depth != INDEXED_DEPTH:
        kind = DEPTH_NAMES.get(depth, f"color depth {depth}")
        raise DocumentError(f"{kind} documents are not supported, convert to indexed")
    reader = _Reader(Document(width, height, [], transparent_index=transparent_index),
                     bool(flags & LAYER_OPACITY_VALID), frame_count, max_pixel_bytes)
    # The header's file size is not trusted: each frame is checked against the bytes there are.
    pos = HEADER.size
    for index in range(frame_count):
        left = len(view) - pos
        if left < FRAME_HEADER.size:
            raise DocumentError(f"the file ends before this frame ({frame_count} frames claimed)", index)
        frame_size, frame_magic, short_count, duration, long_count = FRAME_HEADER.unpack_from(view, pos)
        if frame_magic != FRAME_MAGIC:
            raise DocumentError(f"no frame starts at byte {pos} (the magic number F1FA is missing)", index)
        if not FRAME_HEADER.size <= frame_size <= left:
            raise DocumentError(f"the frame claims {frame_size} bytes, but {left} are left in the file", index)
        # Aseprite shows a frame without a duration for the header's speed.
        reader.read_frame(index, view[pos + FRAME_HEADER.size:pos + frame_size], duration or speed,
                          long_count or short_count)
        pos += frame_size
    if frame_count == 0 and len(view) - pos >= FRAME_HEADER.size:
        reader.read_setup(view[pos:])
    return reader.finish()


class _Span:
    """Fields read in turn from one part of the file; a read past its end is damage."""

    def __init__(self, data: memoryview, what: str, frame: int | None):
        self.data, self.pos, self.what, self.frame = data, 0, what, frame

    def fail(self, message: str) -> NoReturn:
        raise DocumentError(message, self.frame)

    def left(self) -> int:
        return len(self.data) - self.pos

    def take(self, count: int) -> memoryview:
        if count > self.left():
            self.fail(f"{self.what} ends early")
        self.pos += count
        return self.data[self.pos - count:self.pos]

    def read(self, layout: struct.Struct) -> tuple:
        return layout.unpack(self.take(layout.size))

    def string(self) -> str:
        (length,) = self.read(WORD)
        try:
            return str(self.take(length), "utf-8")
        except UnicodeDecodeError:
            self.fail(f"{self.what} holds text that is not UTF-8")


class _Reader:
    def __init__(self, doc: Document, opacity_valid: bool, frame_count: int, max_pixel_bytes: int):
        self.doc, self.opacity_valid, self.frame_count = doc, opacity_valid, frame_count
        self.max_pixel_bytes = self.pixel_bytes_left = max_pixel_bytes
        self.palette: list | None = None  # from the palette chunk, preferred
        self.old_palette: list | None = None  # from the old chunks, for files without the new one
        self.cels: list[dict[int, Cel]] = []  # per frame, by layer: what linked cels point to
        self.owner: object | None = None  # what the next user data belongs to
        self.waiting_tags: deque[Tag] = deque()  # tags still to get their user data, in turn
        self.frame = 0

    def finish(self) -> Document:
        self.doc.palette = self.palette if self.palette is not None else self.old_palette or []
        return self.doc

    def read_setup(self, rest: memoryview) -> None:
        """The block a document of no frames may keep its palette, layers and user data
        in, past the frame count; anything else there is not the document's."""
        frame_size, frame_magic, short_count, _, long_count = FRAME_HEADER.unpack_from(rest)
        if frame_magic == FRAME_MAGIC and FRAME_HEADER.size <= frame_size <= len(rest):
            self.read_frame(0, rest[FRAME_HEADER.size:frame_size], 0, long_count or short_count)
            self.doc.frames.clear()

    def read_frame(self, index: int, body: memoryview, duration: int, chunk_count: int) -> None:
        self.frame = index
        if chunk_count * CHUNK_HEADER.size > len(body):
            raise DocumentError(f"the frame claims {chunk_count} chunks, more than its {len(body)} bytes hold", index)
        self.doc.frames.append(Frame(duration))
        self.cels.append({})
        pos = 0
        for _ in range(chunk_count):
            if len(body) - pos < CHUNK_HEADER.size:
                raise DocumentError("a chunk header runs past the end of the frame", index)
            size, kind = CHUNK_HEADER.unpack_from(body, pos)
            if size < CHUNK_HEADER.size:
                raise DocumentError(f"a chunk of type {kind:04X} claims {size} bytes, less than its own header",
                                    index)
            if size > len(body) - pos:
                raise DocumentError(f"a chunk of type {kind:04X} and {size} bytes runs past the end of the frame",
                                    index)
            self.read_chunk(kind, body[pos + CHUNK_HEADER.size:pos + size])
            pos += size

    def read_chunk(self, kind: int, data: memoryview) -> None:
        handler = self.HANDLERS.get(kind)
        if kind != Chunk.USER_DATA and kind not in KEEPS_OWNER:
            self.owner, self.waiting_tags = None, deque()
        if handler is not None:
            handler(self, _Span(data, f"the {Chunk(kind).name.lower().replace('_', ' ')} chunk", self.frame))

    def palette_chunk(self, span: _Span) -> None:
        size, first, last = span.read(PALETTE)
        if size > MAX_COLORS:
            span.fail(f"the palette has {size} colors, more than the {MAX_COLORS} of an indexed document")
        if not first <= last < size:
            span.fail(f"the palette chunk sets entries {first} to {last} of a palette of {size}")
        colors = (self.palette or [])[:size]
        colors += [NEW_ENTRY] * (size - len(colors))
        for index in range(first, last + 1):
            flags, *color = span.read(PALETTE_ENTRY)
            if flags & 1:
                span.string()  # the entry's name
            colors[index] = tuple(color)
        if self.frame == 0:
            self.palette, self.owner = colors, self.doc
        elif colors != self.palette:
            span.fail("the palette changes here; only documents with one palette for all frames are supported")

    def old_palette_chunk(self, span: _Span, six_bit: bool) -> None:
        if self.frame != 0:
            return  # files with the old chunks alone predate palettes that change between frames
        colors = list(self.old_palette or [])
        (packets,) = span.read(WORD)
        index = 0
        for _ in range(packets):
            skip, count = span.read(OLD_PALETTE_PACKET)
            index, count = index + skip, count or 256
            if index + count > MAX_COLORS:
                span.fail(f"the old palette chunk sets entries past {MAX_COLORS - 1}")
            colors += [NEW_ENTRY] * (index + count - len(colors))
            for entry in range(index, index + count):
                rgb = span.read(RGB)
                colors[entry] = (*((v & 63) << 2 | (v & 63) >> 4 for v in rgb), 255) if six_bit else (*rgb, 255)
            index += count
        self.old_palette = colors

    def layer_chunk(self, span: _Span) -> None:
        flags, kind, child_level, _width, _height, blend_mode, opacity = span.read(LAYER)
        name = span.string()
        number = len(self.doc.layers)
        if kind == LayerType.TILEMAP:
            span.fail(f"layer {number} ({name!r}) is a tilemap: tilemaps are not supported, "
                      "convert it to a normal layer")
        if kind not in (LayerType.IMAGE, LayerType.GROUP):
            span.fail(f"layer {number} ({name!r}) has the unknown type {kind}")
        layer = Layer(name, flags, kind, child_level, opacity if self.opacity_valid else 255, blend_mode)
        self.doc.layers.append(layer)
        self.owner = layer

    def cel_chunk(self, span: _Span) -> None:
        layer, x, y, opacity, kind, z_index = span.read(CEL)
        if layer >= len(self.doc.layers):
            span.fail(f"a cel on layer {layer}, but the document has {len(self.doc.layers)} layers")
        frame_cels = self.cels[-1]
        if layer in frame_cels:
            span.fail(f"two cels on layer {layer}")
        linked_from, user_data = None, None
        if kind in (CelType.RAW, CelType.COMPRESSED):
            width, height = span.read(CEL_SIZE)
            pixels = self.pixels(span, kind, span.take(span.left()), width, height, layer)
        elif kind == CelType.LINKED:
            (linked_from,) = span.read(CEL_LINK)
            target = self.cels[linked_from].get(layer) if linked_from < self.frame else None
            if target is None:
                what = ("does not exist" if linked_from >= self.frame_count else
                        "does not come before it" if linked_from >= self.frame else "holds no cel on that layer")
                span.fail(f"the cel on layer {layer} links to frame {linked_from}, which {what}")
            # Aseprite shares the image and user data of linked cels.
            width, height, pixels, user_data = target.width, target.height, target.pixels, target.user_data
        elif kind == CelType.TILEMAP:
            span.fail(f"the cel on layer {layer} is a tilemap: tilemaps are not supported")
        else:
            span.fail(f"the cel on layer {layer} has the unknown type {kind}")
        cel = Cel(layer, x, y, width, height, pixels, opacity, z_index, user_data, linked_from)
        self.doc.frames[-1].cels.append(cel)
        frame_cels[layer] = self.owner = cel

    def pixels(self, span: _Span, kind: int, data: memoryview, width: int, height: int, layer: int) -> bytes:
        size = width * height
        # Checked before a byte is allocated: the claim must fit what the data can inflate to and the budget.
        if kind == CelType.COMPRESSED and size > len(data) * DEFLATE_MAX_RATIO:
            span.fail(f"the cel on layer {layer} claims {width}x{height} pixels, "
                      f"more than its {len(data)} compressed bytes can hold")
        if size > self.pixel_bytes_left:
            span.fail(f"the cels claim more than {self.max_pixel_bytes} bytes of pixels in all")
        self.pixel_bytes_left -= size
        if kind == CelType.RAW:
            if len(data) != size:
                span.fail(f"the cel on layer {layer} holds {len(data)} bytes for {width}x{height} pixels")
            return bytes(data)
        inflater = zlib.decompressobj()
        try:
            pixels = inflater.decompress(data, size + 1)  # one more, to tell a longer stream
        except zlib.error as error:
            span.fail(f"the cel on layer {layer} holds damaged compressed pixels ({error})")
        if len(pixels) != size or not inflater.eof:
            span.fail(f"the cel on layer {layer} does not inflate to exactly {width}x{height} pixels")
        return pixels

    def tags_chunk(self, span: _Span) -> None:
        (count,) = span.read(TAGS)
        tags = []
        for _ in range(count):
            from_frame, to_frame, direction, repeat, *color = span.read(TAG)
            tags.append(Tag(from_frame, to_frame, span.string(), direction, repeat, tuple(color)))
        self.doc.tags += tags
        self.waiting_tags = deque(tags)

    def user_data_chunk(self, span: _Span) -> None:
        (flags,) = span.read(USER_DATA_FLAGS)
        data = UserData()
        if flags & 1:
            data.text = span.string()
        if flags & 2:
            data.color = span.read(RGBA)
        if flags & 4:
            (size,) = span.read(PROPERTIES_SIZE)
            if size < 8:
                span.fail(f"a properties block of {size} bytes, too short for its size and count")
            data.properties_raw = PROPERTIES_SIZE.pack(size) + bytes(span.take(size - PROPERTIES_SIZE.size))
        if self.waiting_tags:
            self.waiting_tags.popleft().user_data = data or None
        elif self.owner is not None:
            self.owner.user_data = data or None  # type: ignore[attr-defined]

    HANDLERS: dict[int, Callable[[_Reader, _Span], None]] = {
        Chunk.PALETTE: palette_chunk,
        Chunk.OLD_PALETTE: lambda self, span: self.old_palette_chunk(span, six_bit=False),
        Chunk.OLD_PALETTE_6BIT: lambda self, span: self.old_palette_chunk(span, six_bit=True),
        Chunk.LAYER: layer_chunk,
        Chunk.CEL: cel_chunk,
        Chunk.TAGS: tags_chunk,
        Chunk.USER_DATA: user_data_chunk,
    }
