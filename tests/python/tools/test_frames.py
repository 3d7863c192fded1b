"""The pieces that place and look up pixels, tested directly."""

import pytest
from hypothesis import given, strategies as st
from PIL import Image

from ravir_tools.frames import preview, sheet_layout
from ravir_tools.frames.color_lookup import BadColor, PaletteIndex
from ravir_tools.frames.sheet_layout import SheetLayout

sizes = st.lists(st.tuples(st.integers(0, 40), st.integers(0, 40)), max_size=30)


@pytest.mark.parametrize("options", [SheetLayout(), SheetLayout(padding=0), SheetLayout(padding=3, width=45),
                                     SheetLayout("grid", padding=0), SheetLayout("grid", padding=2, columns=4)])
@given(frame_sizes=sizes)
def test_sheet_cells_hold_their_frames_padded_apart(options, frame_sizes):
    (width, height), corners = sheet_layout.layout(frame_sizes, options)
    pad = options.padding
    # Each box carries the padding on its right and bottom, which the sheet's edges may cut.
    boxes = [(x, y, x + w + pad, y + h + pad) for (x, y), (w, h) in zip(corners, frame_sizes) if w and h]
    for left, top, right, bottom in boxes:
        assert 0 <= left and 0 <= top and right - pad <= width and bottom - pad <= height
        assert options.width is None or right - pad <= options.width
    for i, a in enumerate(boxes):
        for b in boxes[i + 1:]:
            assert a[2] <= b[0] or b[2] <= a[0] or a[3] <= b[1] or b[3] <= a[1]
    if boxes and options.kind == "packed":  # no larger than its frames need
        assert (width, height) == (max(box[2] for box in boxes) - pad, max(box[3] for box in boxes) - pad)


class Offsets:
    def __init__(self, x, y):
        self.x_offset, self.y_offset = x, y


@pytest.mark.parametrize("flip, scale, canvas, corners", [
    (False, 1, (8, 6), [(0, 2), (5, 0), None]),
    (True, 1, (8, 4), [(5, 0), (0, 2), None]),
    (False, 2, (16, 12), [(0, 4), (10, 0), None]),
])
def test_previews_place_each_frame_by_its_offsets(flip, scale, canvas, corners):
    frames = [Offsets(-2, 1), Offsets(3, -1), Offsets(100, 100)]  # the last has no pixels: it takes no room
    sizes = [(3 * scale, 4 * scale), (3 * scale, 2 * scale), (0, 0)]
    assert preview.placement(sizes, frames, scale, flip) == (canvas, corners)
    assert preview.placement([(0, 0)], [Offsets(0, 0)], 1, False) is None


COLORS = [(0, 0, 0, 255), (9, 9, 9, 255), (9, 9, 9, 255), (9, 9, 9, 0)]


@pytest.mark.parametrize("space, pixels, nearest, indices, drawn", [
    ("rgba", [(9, 9, 9, 255), (0, 0, 0, 0)], False, [1, 0], [1, 0]),  # a repeated color takes the first entry
    ("rgba", [(8, 9, 9, 255)], True, [1], [1]),
    ("indexed", [(9, 9, 9, 255)], False, [1], [1]),
])
def test_colors_are_looked_up_in_the_palette(space, pixels, nearest, indices, drawn):
    image = Image.new("RGBA", (len(pixels), 1))
    image.putdata(pixels)
    found = PaletteIndex(COLORS, nearest, space).index(image)
    assert (list(found.indices), list(found.opaque)) == (indices, drawn)


def test_a_color_not_in_the_palette_names_its_pixel():
    image = Image.new("RGBA", (3, 2), (0, 0, 0, 255))
    image.putpixel((2, 1), (1, 2, 3, 255))
    with pytest.raises(BadColor, match=r"pixel \(2, 1\) has the color #010203ff"):
        PaletteIndex(COLORS, False).index(image)
