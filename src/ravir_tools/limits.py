"""The sizes the animation format holds, and the limits the tools keep to on any
input, in one place."""

MAX_FRAME_WIDTH = 0xFFFF
MAX_FRAME_HEIGHT = 0x7FFF  # the height word's top bit is the shadow flag
# The largest frame the format holds; larger images are refused before they are read.
MAX_FRAME_PIXELS = MAX_FRAME_WIDTH * MAX_FRAME_HEIGHT

OFFSETS = range(-0x8000, 0x8000)  # a frame's x and y offsets
WIDTHS = range(MAX_FRAME_WIDTH + 1)
HEIGHTS = range(MAX_FRAME_HEIGHT + 1)
SPEEDS = range(2**32)

# Aseprite documents: their cels hold at most this many pixels in all, and the
# file, compressed, no more than that and their headers.
MAX_DOCUMENT_PIXEL_BYTES = 512 << 20  # far above any animation of the game, far below what would exhaust memory
MAX_DOCUMENT_BYTES = 2 * MAX_DOCUMENT_PIXEL_BYTES
