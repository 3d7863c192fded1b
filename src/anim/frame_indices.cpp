#include "anim/frame_indices.h"

#include <algorithm>

namespace ravir {

FrameIndices frameIndices(const OrvFrame& frame)
{
    const std::size_t width = frame.width;
    const std::size_t rows = std::min<std::size_t>(frame.height, frame.pixel_sets.size());
    FrameIndices result;
    result.indices.assign(width * frame.height, 0);
    result.drawn.assign(width * frame.height, 0);

    for (std::size_t y = 0; y < rows; ++y) {
        std::uint8_t* const indices = result.indices.data() + y * width;
        std::uint8_t* const drawn = result.drawn.data() + y * width;
        std::size_t x = 0;
        for (const OrvPixelBlock& block : frame.pixel_sets[y].blocks) {
            x += block.offset;
            if (block.color_count == 0 || x >= width) {
                continue;
            }
            // As in the renderer: a shadow run draws color_count pixels, any other
            // run the indices it holds.
            const std::size_t count =
                std::min<std::size_t>(frame.is_shadow ? block.color_count : block.colors.size(), width - x);
            std::fill_n(drawn + x, count, std::uint8_t{1});
            if (!frame.is_shadow) {
                std::copy_n(block.colors.begin(), count, indices + x);
                for (std::size_t n = 0; n < count; ++n) {
                    ++result.counts[block.colors[n]];
                }
            }
            x += count;
        }
    }
    return result;
}

}  // namespace ravir
