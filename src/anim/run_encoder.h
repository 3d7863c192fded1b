#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "anim/orv_data.h"

namespace ravir {

// Turns images of palette indices into the run-length rows of frames. A row stores
// its gaps and runs in single bytes, so anything longer than 255 pixels is split: a
// long gap into runs of no pixels that only skip, a long run into runs that follow
// each other without a gap.

// One frame's pixels, row-major: a palette index per pixel, and whether the pixel
// is opaque (non-zero) or a gap (0). Indices of gaps are ignored.
struct IndexedImage {
    std::size_t width = 0;
    std::size_t height = 0;
    std::span<const std::uint8_t> indices;
    std::span<const std::uint8_t> opaque;
};

// The frame holding `image`, at offset 0, 0. A shadow frame keeps only where its
// runs lie. Throws std::invalid_argument when the image cannot be a frame: spans of
// the wrong size, a width above 65535, or a row that needs more than 255 runs.
OrvFrame encodeFrame(const IndexedImage& image, bool shadow);

// Appends `frame` to `tree` and counts it. Throws std::invalid_argument for a height
// that would not read back: a height word holds 15 bits, a shadow frame's only 8,
// and once a shadow frame has been read every later frame's only 8 as well.
void appendFrame(OrvData& tree, OrvFrame frame);
// The same, for a caller that knows whether `tree` holds a shadow frame: appending
// many frames so takes time in proportion to their number.
void appendFrame(OrvData& tree, OrvFrame frame, bool afterShadow);

}  // namespace ravir
