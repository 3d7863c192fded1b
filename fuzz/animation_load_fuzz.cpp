// Animation files: whatever the bytes, a load either refuses the frame count or
// gives a tree whose counts agree with its lists, and renders one image per frame
// within the render size limit, each pixel as the plain rules below would draw it.

#include <cstring>

#include "animation_input.h"
#include "tree_checks.h"

using ravir::fuzz::require;

namespace {

// One row as drawn by the rules themselves, pixel by pixel, for comparison with the
// renderer's faster way: runs skip `offset` columns, shadow runs paint opaque black,
// other runs paint each index's palette color, and nothing is drawn past the width.
std::vector<std::uint8_t> expectedRow(const OrvPixelSet& row, bool shadow, const std::vector<PalF::Color>& palette,
                                      std::size_t width)
{
    std::vector<std::uint8_t> line(width * 4);
    std::size_t x = 0;
    const auto paint = [&](const PalF::Color& color) {
        std::memcpy(line.data() + x * 4, &color, 4);
        ++x;
    };
    for (const OrvPixelBlock& block : row.blocks) {
        x += block.offset;
        if (block.color_count == 0) {
            continue;
        }
        if (shadow) {
            for (unsigned n = 0; n < block.color_count && x < width; ++n) {
                paint({0, 0, 0, 255});
            }
            continue;
        }
        for (const std::uint8_t index : block.colors) {
            if (x >= width || index >= palette.size()) {
                break;
            }
            paint(palette[index]);
        }
    }
    return line;
}

void requireDrawnByTheRules(const OrvFrame& frame, const OrvFrameBufferObject& image,
                            const std::vector<PalF::Color>& palette)
{
    const std::size_t rowBytes = std::size_t{frame.width} * 4;
    for (std::size_t y = 0; y < frame.height; ++y) {
        const std::vector<std::uint8_t> expected = expectedRow(frame.pixel_sets[y], frame.is_shadow != 0, palette,
                                                               frame.width);
        require(std::memcmp(image.pixels.data() + y * rowBytes, expected.data(), rowBytes) == 0,
                "a row differs from what the rules draw");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrvF file;
    if (!ravir::fuzz::loadInput(file, data, size)) {
        return 0;
    }
    const OrvData& tree = *file.data();
    ravir::fuzz::requireReadInvariants(tree);

    const std::vector<OrvFrameBufferObject> images = file.getFrameBuffer();
    require(images.size() == tree.frames.size(), "not one image per frame");
    const std::vector<PalF::Color> palette = tree.palette->colors();
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const OrvFrameBufferObject& image = images[i];
        const OrvFrame& frame = tree.frames[i];
        require(image.width == frame.width && image.height == frame.height && image.offset_x == frame.x_offset &&
                    image.offset_y == frame.y_offset && image.channels == 4,
                "an image does not carry its frame's size and offsets");
        const std::uint64_t bytes = std::uint64_t{frame.width} * frame.height * 4;
        // An image left empty is one the size limit refused.
        require(image.pixels.size() == bytes || image.pixels.empty(), "an image has the wrong size");
        total += image.pixels.size();
        if (!image.pixels.empty()) {
            requireDrawnByTheRules(frame, image, palette);
        }
    }
    require(total <= OrvFrameBuffer::kMaxRenderBytes, "the images exceed the render size limit");
    return 0;
}
