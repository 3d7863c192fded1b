import pytest

import ravir

U8, U16, U32 = (0, 255), (0, 65535), (0, 4294967295)
I16 = (-32768, 32767)


def info(data):
    return data.info


def frame(data):
    return data.frames[0]


def row(data):
    return data.frames[0].pixel_sets[0]


def block(data):
    return data.frames[0].pixel_sets[0].blocks[0]


FIELDS = [
    (info, "speed", U32), (info, "frame_count", U32),
    (frame, "frame_size", U32), (frame, "height", U16), (frame, "is_shadow", U8),
    (frame, "width", U16), (frame, "y_offset", I16), (frame, "x_offset", I16),
    (frame, "unk1", U8), (frame, "unk2", U8),
    (row, "block_count", U8),
    (block, "offset", U8), (block, "color_count", U8),
]
FIELD_IDS = [f"{owner.__name__}.{name}" for owner, name, _ in FIELDS]


@pytest.fixture
def loaded(sprite):
    f = ravir.OrvF()
    data = f.load(str(sprite))
    assert data is not None
    yield data
    del f


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize("owner, name, bounds", FIELDS, ids=FIELD_IDS)
def test_integer_fields_store_their_whole_range(loaded, owner, name, bounds):
    target = owner(loaded)
    for value in bounds:
        setattr(target, name, value)
        assert getattr(owner(loaded), name) == value
    setattr(target, name, Index(bounds[0] + 1))
    assert getattr(target, name) == bounds[0] + 1
    setattr(target, name, True)
    assert getattr(target, name) == 1 and type(getattr(target, name)) is int


@pytest.mark.parametrize("owner, name, bounds", FIELDS, ids=FIELD_IDS)
@pytest.mark.parametrize("bad", ["below", "above", 3.0, "3", None])
def test_integer_fields_refuse_values_they_cannot_hold(loaded, owner, name, bounds, bad):
    target = owner(loaded)
    before = getattr(target, name)
    value = {"below": bounds[0] - 1, "above": bounds[1] + 1}.get(bad, bad)
    with pytest.raises(TypeError):
        setattr(target, name, value)
    assert getattr(target, name) == before


@pytest.mark.parametrize("value, stored", [(True, True), (False, False), (None, False), (2, True), (0, False)])
def test_has_background_takes_truth_values(loaded, value, stored):
    loaded.has_background = value
    assert loaded.has_background is stored


def test_has_background_refuses_strings(loaded):
    with pytest.raises(TypeError):
        loaded.has_background = "yes"
    assert loaded.has_background is False


@pytest.mark.parametrize("owner, name", [
    (lambda d: d, "info"), (lambda d: d, "frames"), (lambda d: d, "palette"),
    (frame, "pixel_sets"), (row, "blocks"), (block, "colors"),
])
def test_container_attributes_are_read_only(loaded, owner, name):
    target = owner(loaded)
    before = getattr(target, name)
    with pytest.raises(AttributeError):
        setattr(target, name, before)


@pytest.mark.parametrize("owner", [info, frame, row, block])
def test_undefined_attributes_cannot_be_added(loaded, owner):
    with pytest.raises(AttributeError):
        owner(loaded).nickname = "x"


def test_lists_are_new_copies_of_the_structure(loaded):
    loaded.frames.append(loaded.frames[0])
    assert len(loaded.frames) == 2
    colors = block(loaded).colors
    colors[0] = 99
    assert block(loaded).colors == [5, 6]


def test_counts_are_stored_fields_that_may_disagree(loaded):
    row(loaded).block_count = 200
    frame(loaded).frame_size = 3
    assert row(loaded).block_count == 200
    assert len(row(loaded).blocks) == 1
    assert frame(loaded).frame_size == 3
    assert frame(loaded).height == 3
