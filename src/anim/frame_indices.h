#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "anim/orv_data.h"

namespace ravir {

// The palette indices that a frame's runs draw, pixel by pixel: what rendering
// draws before the palette gives each index its color, so that tools can hand
// frames out exactly, whatever colors the palette repeats. The inverse of
// encodeFrame (run_encoder.h).

struct FrameIndices {
    std::vector<std::uint8_t> indices;  // row-major; 0 where nothing is drawn, and in shadow frames
    std::vector<std::uint8_t> drawn;    // 1 where a run draws, 0 in the gaps
    std::array<std::uint64_t, 256> counts{};  // drawn pixels per index; all 0 in a shadow frame
};

// Runs are cut at the frame's width and rows past its height are not read, exactly
// as the renderer does, so that a pixel is drawn here if and only if it is drawn in
// the frame's rendered image.
FrameIndices frameIndices(const OrvFrame& frame);

}  // namespace ravir
