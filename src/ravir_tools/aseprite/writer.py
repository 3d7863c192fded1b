"""A Document as the bytes of an indexed Aseprite file.

The chunks go in the order Aseprite itself saves them, so that Aseprite and other
readers attach each user-data chunk to the same owner: in the first frame the
palette (new and old form), the sprite's user data, the layers, the tags with one
user-data chunk per tag; then in every frame its cels, each followed by its user data
(a linked cel has none of its own: Aseprite gives it that of the cel it repeats).
"""

from __future__ import annotations

import struct
import zlib

from ravir_tools.aseprite.document import (
    CEL, CEL_LINK, CEL_SIZE, CHUNK_HEADER, FRAME_HEADER, FRAME_MAGIC, HEADER, INDEXED_DEPTH,
    LAYER, LAYER_OPACITY_VALID, MAGIC, MAX_COLORS, OLD_PALETTE_PACKET, PALETTE, PALETTE_ENTRY, PROPERTIES_SIZE,
    RGB, RGBA, TAG, TAGS, USER_DATA_FLAGS, WORD, Cel, CelType, Chunk, Document, Frame, UserData,
)

MAX_STRING_BYTES = 0xFFFF
NO_FRAMES_DURATION = 100


def write_document(doc: Document) -> bytes:
    """The file's bytes. Raises ValueError for a document the file could not hold as given."""
    _check_writable(doc)
    try:
        return _document(doc)
    except struct.error as error:  # a number out of its field's range
        raise ValueError(f"a value the file cannot hold: {error}") from None


def _document(doc: Document) -> bytes:
    # A document of no frames keeps what the first frame would hold in a block past the
    # frame count, where readers that follow the count do not look.
    frames = [_frame(frame.duration_ms, (_first_frame_chunks(doc) if index == 0 else []) +
                     [chunk for cel in frame.cels for chunk in _cel_chunks(cel)])
              for index, frame in enumerate(doc.frames or [Frame(NO_FRAMES_DURATION)])]
    size = HEADER.size + sum(len(frame) for frame in frames)
    speed = doc.frames[0].duration_ms if doc.frames else NO_FRAMES_DURATION
    header = HEADER.pack(size, MAGIC, len(doc.frames), doc.width, doc.height, INDEXED_DEPTH, LAYER_OPACITY_VALID,
                         speed, 0, 0, doc.transparent_index, len(doc.palette), 1, 1, 0, 0, 0, 0)
    return b"".join([header, *frames])


def _check_writable(doc: Document) -> None:
    """Refuses what would come out of the file different from what went in."""
    if doc.depth != INDEXED_DEPTH:
        raise ValueError(f"only indexed documents are written, not depth {doc.depth}")
    if not 1 <= len(doc.palette) <= MAX_COLORS:
        raise ValueError(f"a palette of {len(doc.palette)} colors, not 1 to {MAX_COLORS}")
    for index, frame in enumerate(doc.frames):
        if not 1 <= frame.duration_ms <= 0xFFFF:
            # Aseprite would read 0 as the document's default speed.
            raise ValueError(f"frame {index}: a duration of {frame.duration_ms} ms, not 1 to 65535")
        layers = [cel.layer_index for cel in frame.cels]
        if len(set(layers)) != len(layers):
            raise ValueError(f"frame {index}: two cels on one layer")
        for cel in frame.cels:
            place = f"frame {index}, layer {cel.layer_index}"
            if not 0 <= cel.layer_index < len(doc.layers):
                raise ValueError(f"{place}: no such layer among {len(doc.layers)}")
            if cel.width == 0 or cel.height == 0:
                raise ValueError(f"{place}: an empty cel, which Aseprite drops; leave it out instead")
            if len(cel.pixels) != cel.width * cel.height:
                raise ValueError(f"{place}: {len(cel.pixels)} pixels for a {cel.width}x{cel.height} cel")
            if cel.linked_from is not None:
                earlier = doc.frames[cel.linked_from].cels if 0 <= cel.linked_from < index else []
                target = next((c for c in earlier if c.layer_index == cel.layer_index), None)
                if target is None or (target.width, target.height, target.pixels) != (
                        cel.width, cel.height, cel.pixels):
                    raise ValueError(f"{place}: linked to frame {cel.linked_from}, "
                                     "which has no earlier cel with these pixels on that layer")
                # Aseprite keeps one user data for a cel and the cels linked to it.
                if (cel.user_data or None) != (target.user_data or None):
                    raise ValueError(f"{place}: linked to frame {cel.linked_from}, but with other user data")


def _first_frame_chunks(doc: Document) -> list[bytes]:
    chunks = [_palette(doc.palette), _old_palette(doc.palette)]
    if doc.user_data:
        chunks.append(_user_data(doc.user_data))
    for layer in doc.layers:
        chunks.append(_chunk(Chunk.LAYER, LAYER.pack(layer.flags, layer.type, layer.child_level, 0, 0,
                                                     layer.blend_mode, layer.opacity) + _string(layer.name)))
        if layer.user_data:
            chunks.append(_user_data(layer.user_data))
    if doc.tags:
        chunks.append(_chunk(Chunk.TAGS, TAGS.pack(len(doc.tags)) + b"".join(
            TAG.pack(tag.from_frame, tag.to_frame, tag.direction, tag.repeat, *tag.color) + _string(tag.name)
            for tag in doc.tags)))
        # One per tag, empty or not, since readers hand them out to the tags in turn.
        chunks += [_user_data(tag.user_data or UserData()) for tag in doc.tags]
    return chunks


def _cel_chunks(cel: Cel) -> list[bytes]:
    head = (cel.layer_index, cel.x, cel.y, cel.opacity)
    if cel.linked_from is not None:  # its user data is that of the cel it repeats
        return [_chunk(Chunk.CEL, CEL.pack(*head, CelType.LINKED, cel.z_index) + CEL_LINK.pack(cel.linked_from))]
    chunks = [_chunk(Chunk.CEL, CEL.pack(*head, CelType.COMPRESSED, cel.z_index) +
                     CEL_SIZE.pack(cel.width, cel.height) + zlib.compress(cel.pixels))]
    if cel.user_data:
        chunks.append(_user_data(cel.user_data))
    return chunks


def _palette(colors: list[tuple[int, int, int, int]]) -> bytes:
    entries = b"".join(PALETTE_ENTRY.pack(0, *color) for color in colors)
    return _chunk(Chunk.PALETTE, PALETTE.pack(len(colors), 0, max(len(colors) - 1, 0)) + entries)


def _old_palette(colors: list[tuple[int, int, int, int]]) -> bytes:
    # One packet from entry 0; a count byte of 0 means 256.
    packet = OLD_PALETTE_PACKET.pack(0, len(colors) % 256) + b"".join(RGB.pack(*color[:3]) for color in colors)
    return _chunk(Chunk.OLD_PALETTE, WORD.pack(1) + packet)


def _user_data(data: UserData) -> bytes:
    flags = (data.text is not None) | (data.color is not None) << 1 | (data.properties_raw is not None) << 2
    body = USER_DATA_FLAGS.pack(flags)
    if data.text is not None:
        body += _string(data.text)
    if data.color is not None:
        body += RGBA.pack(*data.color)
    if data.properties_raw is not None:
        if PROPERTIES_SIZE.unpack_from(data.properties_raw.ljust(4, b"\0"))[0] != len(data.properties_raw):
            raise ValueError("a properties block that does not start with its own size")
        body += data.properties_raw
    return _chunk(Chunk.USER_DATA, body)


def _string(text: str) -> bytes:
    raw = text.encode("utf-8")
    if len(raw) > MAX_STRING_BYTES:
        raise ValueError(f"a text of {len(raw)} bytes, more than the {MAX_STRING_BYTES} a string holds")
    return WORD.pack(len(raw)) + raw


def _chunk(kind: int, data: bytes) -> bytes:
    return CHUNK_HEADER.pack(CHUNK_HEADER.size + len(data), kind) + data


def _frame(duration_ms: int, chunks: list[bytes]) -> bytes:
    body = b"".join(chunks)
    count = len(chunks)
    return FRAME_HEADER.pack(FRAME_HEADER.size + len(body), FRAME_MAGIC, min(count, 0xFFFF), duration_ms,
                             count) + body
