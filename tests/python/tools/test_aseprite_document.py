import zlib
from dataclasses import replace

import aseprite
import pytest
from hypothesis import HealthCheck, assume, given, settings, strategies as st

from ravir_tools.aseprite.document import Cel, Document, DocumentError, Frame, Layer, Tag, UserData
from ravir_tools.aseprite.reader import read_document
from ravir_tools.aseprite.writer import write_document
from ravir_tools.limits import MAX_DOCUMENT_PIXEL_BYTES as MAX_PIXELS

from tests.support import aseprite_bytes as ab


BYTE = st.integers(0, 255)
SHORT = st.integers(-32768, 32767)
TEXT = st.text(st.characters(codec="utf-8"), max_size=12)
USER_DATA = st.none() | st.builds(UserData, st.none() | TEXT, st.none() | st.tuples(BYTE, BYTE, BYTE, BYTE),
                                  st.sampled_from([None, ab.properties_block()])).filter(bool)


@st.composite
def documents(draw) -> Document:
    layers = draw(st.lists(st.builds(Layer, TEXT, st.integers(0, 127), st.sampled_from([0, 1]), st.integers(0, 2),
                                     BYTE, st.integers(0, 18), USER_DATA), min_size=1, max_size=3))
    frames: list[Frame] = []
    for index in range(draw(st.integers(0, 4))):  # a document of no frames keeps its palette and layers too
        cels = []
        for layer_index in draw(st.lists(st.integers(0, len(layers) - 1), unique=True)):
            earlier = [(f, c) for f in range(index) for c in frames[f].cels if c.layer_index == layer_index]
            if earlier and draw(st.booleans()):
                source, target = draw(st.sampled_from(earlier))
                width, height, pixels, user_data = target.width, target.height, target.pixels, target.user_data
            else:
                source, width, height = None, draw(st.integers(1, 5)), draw(st.integers(1, 5))
                user_data = draw(USER_DATA)
                pixels = draw(st.binary(min_size=width * height, max_size=width * height))
            cels.append(Cel(layer_index, draw(SHORT), draw(SHORT), width, height, pixels, draw(BYTE), draw(SHORT),
                            user_data, source))
        frames.append(Frame(draw(st.integers(1, 65535)), cels))
    last = max(len(frames) - 1, 0)
    tags = draw(st.lists(st.builds(Tag, st.integers(0, last), st.integers(0, last), TEXT, st.integers(0, 3),
                                   st.integers(0, 65535), st.tuples(BYTE, BYTE, BYTE), USER_DATA),
                         max_size=3 if frames else 0))
    palette = draw(st.lists(st.tuples(BYTE, BYTE, BYTE, BYTE), min_size=1, max_size=256))
    return Document(draw(st.integers(1, 65535)), draw(st.integers(1, 65535)), palette, layers, frames, tags,
                    draw(BYTE), user_data=draw(USER_DATA))


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(documents())
def test_documents_come_back_as_written(doc):
    assert read_document(write_document(doc)) == doc


@settings(max_examples=300, deadline=None)
@given(documents(), st.data())
def test_damaged_documents_raise_only_document_errors(doc, data):
    raw = bytearray(write_document(doc))
    for _ in range(data.draw(st.integers(1, 4))):
        raw[data.draw(st.integers(0, len(raw) - 1))] = data.draw(BYTE)
    cut = data.draw(st.integers(0, len(raw)))
    try:
        read_document(bytes(raw[:cut]), max_pixel_bytes=1 << 20)
    except DocumentError:
        pass


def texts(owners) -> list[str | None]:
    return [owner.user_data.text if owner.user_data else None for owner in owners]


@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(documents())
def test_an_independent_reader_sees_what_we_wrote(doc):
    assume(doc.frames)  # without frames, what the first frame holds lies past what it reads
    for index, layer in enumerate(doc.layers):  # that reader wants distinct names and a consistent group tree
        layer.name, layer.type, layer.child_level = f"layer {index}", 0, 0
    sprite = aseprite.Sprite.from_bytes(write_document(doc))
    assert (sprite.width, sprite.height, sprite.transparent_index) == (doc.width, doc.height, doc.transparent_index)
    assert [tuple(color) for color in sprite.palette] == doc.palette
    assert [(layer.name, layer.flags, layer.opacity, layer.blend_mode) for layer in sprite.layers] == [
        (layer.name, layer.flags, layer.opacity, layer.blend_mode) for layer in doc.layers]
    assert [(t.from_frame, t.to_frame, t.name, t.direction, t.repeat) for t in sprite.tags] == [
        (t.from_frame, t.to_frame, t.name, t.direction, t.repeat) for t in doc.tags]
    for theirs_owners, our_owners in [([sprite], [doc]), (sprite.layers, doc.layers), (sprite.tags, doc.tags)]:
        assert texts(theirs_owners) == texts(our_owners)
    assert [f.duration_ms for f in sprite.frames] == [f.duration_ms for f in doc.frames]
    for theirs, ours in zip(sprite.frames, doc.frames):
        assert [(c.layer_index, c.x, c.y, c.opacity, c.z_index, c.link) for c in theirs.cels] == sorted(
            (c.layer_index, c.x, c.y, c.opacity, c.z_index, c.linked_from) for c in ours.cels)
        for cel in ours.cels:
            source = theirs.cel(cel.layer_index)
            assert source.link is not None or texts([source]) == texts([cel])
            while source.link is not None:
                source = sprite.frames[source.link].cel(cel.layer_index)
            assert (source.pixels.width, source.pixels.height, bytes(source.pixels.data)) == (
                cel.width, cel.height, cel.pixels)


def test_a_document_as_aseprite_saves_it():
    """The chunks Aseprite adds are skipped, and each user data reaches its owner."""
    first = ab.frame([
        ab.COLOR_PROFILE,
        ab.palette([(1, 2, 3, 255), (4, 5, 6, 0), (7, 8, 9, 128)], names={1: "clear"}),
        ab.old_palette([(0, [(9, 9, 9)])]),  # the palette chunk wins over it
        ab.user_data("sprite facts"),
        ab.EXTERNAL_FILES,
        ab.layer("body"),
        ab.user_data("layer facts", (1, 1, 1, 255)),
        ab.layer("shade", opacity=128),
        ab.tags([(0, 1, "walk"), (1, 1, "rest")]),
        ab.user_data(),
        ab.user_data("tag facts", (2, 2, 2, 255)),
        ab.SLICE,
        ab.user_data("slice facts"),
        ab.cel(0, -3, 4, 2, 2, b"\1\2\0\1", raw=True),
        ab.CEL_EXTRA,
        ab.user_data("cel facts", properties=ab.properties_block()),
        ab.cel(1, 0, 0, 3, 1, b"\2\2\2", opacity=200),
    ], duration=80)
    second = ab.frame([ab.MASK, ab.PATH, ab.old_palette([(0, [(1, 1, 1)])], kind=0x0011), ab.UNKNOWN,
                       ab.linked_cel(0, 5, 6, 0), ab.cel(1, 1, 1, 1, 1, b"\0")], duration=0)
    # The second frame has no duration of its own: it takes the header's speed, 100 ms.
    doc = read_document(ab.document([first, second], width=10, height=6, transparent=2))
    facts = UserData("cel facts", None, ab.properties_block())  # shared with the cel linked to it
    assert doc == Document(
        10, 6, [(1, 2, 3, 255), (4, 5, 6, 0), (7, 8, 9, 128)],
        [Layer("body", user_data=UserData("layer facts", (1, 1, 1, 255))), Layer("shade", opacity=128)],
        [Frame(80, [Cel(0, -3, 4, 2, 2, b"\1\2\0\1", user_data=facts), Cel(1, 0, 0, 3, 1, b"\2\2\2", opacity=200)]),
         Frame(100, [Cel(0, 5, 6, 2, 2, b"\1\2\0\1", user_data=facts, linked_from=0), Cel(1, 1, 1, 1, 1, b"\0")])],
        [Tag(0, 1, "walk"), Tag(1, 1, "rest", user_data=UserData("tag facts", (2, 2, 2, 255)))],
        transparent_index=2, user_data=UserData("sprite facts"))


@pytest.mark.parametrize("kind, first, last", [
    (0x0004, (252, 128, 4), (10, 20, 30)),
    (0x0011, (255, 130, 16), (40, 81, 121)),  # stored as 6-bit values: (63, 32, 4) and (10, 20, 30)
])
def test_old_palettes_serve_when_no_palette_chunk_is_there(kind, first, last):
    stored = [(252, 128, 4), (10, 20, 30)] if kind == 0x0004 else [(63, 32, 4), (10, 20, 30)]
    data = ab.document([ab.frame([ab.old_palette([(0, stored[:1]), (2, stored[1:])], kind)])])
    assert read_document(data).palette == [(*first, 255), (0, 0, 0, 255), (0, 0, 0, 255), (*last, 255)]


GOOD_FRAME = ab.frame([ab.palette([(0, 0, 0, 255)]), ab.layer("a"), ab.cel(0, 0, 0, 2, 2, bytes(4))])


def framed(*chunks, prefix=(ab.layer("a"),)):
    """A document whose second frame holds the chunks given."""
    return ab.document([ab.frame([ab.palette([(0, 0, 0, 255)]), *prefix]), ab.frame(list(chunks))])


@pytest.mark.parametrize("data, limit, frame, message", [
    (ab.document([GOOD_FRAME], magic=0x1234), MAX_PIXELS, None, "not an Aseprite document"),
    (ab.document([GOOD_FRAME])[:100], MAX_PIXELS, None, "the header ends early"),
    (ab.document([GOOD_FRAME], depth=32), MAX_PIXELS, None, "RGB documents are not supported, convert to indexed"),
    (ab.document([GOOD_FRAME], depth=16), MAX_PIXELS, None, "grayscale documents are not supported"),
    (ab.document([GOOD_FRAME, GOOD_FRAME])[:-3], MAX_PIXELS, 1, "are left in the file"),
    (ab.document([GOOD_FRAME], frame_count=2), MAX_PIXELS, 1, "the file ends before this frame"),
    (framed(ab.chunk(0x2016, b"", size=5)), MAX_PIXELS, 1, "claims 5 bytes, less than its own header"),
    (framed(ab.chunk(0x2005, bytes(20), size=90)), MAX_PIXELS, 1, "runs past the end of the frame"),
    (ab.document([GOOD_FRAME, ab.frame([ab.PATH], count=9)]), MAX_PIXELS, 1, "claims 9 chunks"),
    (framed(ab.cel(0, 0, 0, 3, 2, b"", stream=zlib.compress(bytes(5)))), MAX_PIXELS, 1, "exactly 3x2"),
    (framed(ab.cel(0, 0, 0, 3, 2, b"", stream=zlib.compress(bytes(7)))), MAX_PIXELS, 1, "exactly 3x2"),
    (framed(ab.cel(0, 0, 0, 3, 2, b"", stream=zlib.compress(bytes(6))[:-2])), MAX_PIXELS, 1, "exactly 3x2"),
    (framed(ab.cel(0, 0, 0, 3, 2, b"", stream=b"not zlib")), MAX_PIXELS, 1, "damaged compressed pixels"),
    (framed(ab.cel(0, 0, 0, 3, 2, bytes(5), raw=True)), MAX_PIXELS, 1, "holds 5 bytes for 3x2 pixels"),
    (framed(ab.cel(0, 0, 0, 65535, 65535, b"", stream=zlib.compress(bytes(1 << 20)))), MAX_PIXELS, 1,
     "compressed bytes can hold"),
    (framed(ab.cel(0, 0, 0, 64, 64, bytes(4096))), 4095, 1, "more than 4095 bytes of pixels"),
    (framed(ab.palette([(0, 0, 0, 255)] * 257)), MAX_PIXELS, 1, "257 colors"),
    (framed(ab.palette([(1, 0, 0, 255)])), MAX_PIXELS, 1, "the palette changes here"),
    (framed(ab.layer("tiles", kind=2)), MAX_PIXELS, 1, "layer 1 ('tiles') is a tilemap"),
    (framed(ab.tilemap_cel(0)), MAX_PIXELS, 1, "is a tilemap: tilemaps are not supported"),
    (framed(ab.linked_cel(0, 0, 0, 7)), MAX_PIXELS, 1, "links to frame 7, which does not exist"),
    (framed(ab.linked_cel(0, 0, 0, 0)), MAX_PIXELS, 1, "links to frame 0, which holds no cel on that layer"),
    (framed(ab.linked_cel(0, 0, 0, 1)), MAX_PIXELS, 1, "links to frame 1, which does not come before it"),
    (framed(ab.cel(0, 0, 0, 1, 1, b"\0"), ab.cel(0, 0, 0, 1, 1, b"\0")), MAX_PIXELS, 1, "two cels on layer 0"),
    (framed(ab.cel(3, 0, 0, 1, 1, b"\0")), MAX_PIXELS, 1, "a cel on layer 3, but the document has 1 layers"),
    (framed(ab.chunk(0x2004, bytes(16) + b"\5\0ab")), MAX_PIXELS, 1, "the layer chunk ends early"),
])
def test_bad_documents_are_refused_naming_the_frame(data, limit, frame, message):
    with pytest.raises(DocumentError) as caught:
        read_document(data, max_pixel_bytes=limit)
    assert caught.value.frame == frame
    assert message in str(caught.value)
    assert str(caught.value).startswith("" if frame is None else f"frame {frame}: ")


ONE = Cel(0, 0, 0, 1, 1, b"\1")


def one_layer(*frames, palette=((0, 0, 0, 0),), name="a"):
    return Document(1, 1, list(palette), [Layer(name)], list(frames))


@pytest.mark.parametrize("doc, message", [
    (one_layer(Frame(1, [ONE]), palette=[(0, 0, 0, 0)] * 257), "257 colors"),
    (one_layer(Frame(0, [ONE])), "a duration of 0 ms"),
    (one_layer(Frame(1, [replace(ONE, width=2)])), "1 pixels for a 2x1"),
    (one_layer(Frame(1, [Cel(0, 0, 0, 0, 1, b"")])), "an empty cel"),
    (one_layer(Frame(1, [ONE, ONE])), "two cels on one layer"),
    (one_layer(Frame(1, [ONE]), Frame(1, [replace(ONE, pixels=b"\2", linked_from=0)])), "no earlier cel with these"),
    (one_layer(Frame(1, [ONE]), Frame(1, [replace(ONE, user_data=UserData("own"), linked_from=0)])), "other user data"),
    (one_layer(Frame(1, [ONE]), name="a" * 70000), "70000 bytes"),
    (one_layer(Frame(1, [replace(ONE, x=40000)])), "a value the file cannot hold"),
])
def test_the_writer_refuses_what_would_not_come_back(doc, message):
    with pytest.raises(ValueError, match=message):
        write_document(doc)
