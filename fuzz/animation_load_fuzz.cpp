// Animation files: whatever the bytes, decoding either refuses the frame count or
// gives a tree that passes the checks of animation_input.h: its counts agree with its
// lists, a warning comes exactly when the file is shorter than it declares, and the
// bytes with zeros after them decode to the same tree. Rendering that tree within a
// small budget gives one image per frame, each pixel as the plain rules below would
// draw it, every frame past the budget left empty and every problem reported once.

#include <cstring>

#include "animation_input.h"
#include "render/frame_buffer.h"

using ravir::fuzz::require;

namespace {

// Large enough for a row of the widest frame and for the renderer's mapped storage
// (2 MiB and more), small enough that a few bytes declaring huge frames cost little.
constexpr std::uint64_t kRenderBudget = std::uint64_t{4} << 20;

// 1 to 256 distinct colors, as many as the low byte of the speed plus one: the speed
// plays no part in rendering, and so the fuzzer reaches both of the renderer's ways
// of looking up colors, with and without a test for indices past the palette.
std::vector<PalF::Color> paletteFor(const OrvData& tree)
{
    std::vector<PalF::Color> colors((tree.info.speed & 0xFF) + 1);
    for (unsigned i = 0; i < colors.size(); ++i) {
        colors[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                     static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i | 1)};
    }
    return colors;
}

// Draws one row as the rules themselves say, pixel by pixel, into `line`, for
// comparison with the renderer's faster way: runs skip `offset` columns, shadow runs
// paint opaque black, other runs paint each index's palette color up to the first
// index past the palette, and nothing is drawn past the width. Returns how many runs
// such an index cut short, each of which the renderer reports.
std::size_t drawRow(const OrvPixelSet& row, bool shadow, const std::vector<PalF::Color>& palette, std::size_t width,
                    std::vector<std::uint8_t>& line)
{
    line.assign(width * 4, 0);
    std::size_t x = 0;
    std::size_t cut = 0;
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
            if (x >= width) {
                break;
            }
            if (index >= palette.size()) {
                ++cut;
                break;
            }
            paint(palette[index]);
        }
    }
    return cut;
}

// Compares every row of a rendered image with the rules' drawing and returns how
// many runs were cut short.
std::size_t requireDrawnByTheRules(const OrvFrame& frame, const OrvFrameBufferObject& image,
                                   const std::vector<PalF::Color>& palette, std::vector<std::uint8_t>& line)
{
    const std::size_t rowBytes = std::size_t{frame.width} * 4;
    std::size_t cut = 0;
    for (std::size_t y = 0; y < frame.height; ++y) {
        cut += drawRow(frame.pixel_sets[y], frame.is_shadow != 0, palette, frame.width, line);
        require(std::memcmp(image.pixels.data() + y * rowBytes, line.data(), rowBytes) == 0,
                "a row differs from what the rules draw");
    }
    return cut;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ravir::fuzz::Decoded decoded;
    if (!ravir::fuzz::decodeInput({data, size}, decoded)) {
        return 0;
    }
    ravir::fuzz::requireReadAsIfZerosFollowed({data, size}, decoded);
    const std::vector<PalF::Color> palette = paletteFor(decoded.tree);
    decoded.tree.palette->colors(palette);
    const OrvData& tree = decoded.tree;

    ravir::ProblemList problems;
    OrvFrameBuffer renderer(tree, problems, kRenderBudget);
    const std::vector<OrvFrameBufferObject>& images = renderer.getBuffer();
    require(images.size() == tree.frames.size(), "not one image per frame");
    std::vector<std::size_t> errors(images.size());
    for (const ravir::Problem& problem : problems.problems) {
        require(problem.kind == ravir::Problem::Kind::error && problem.frame && *problem.frame < errors.size(),
                "rendering reported a problem that is no error about a frame");
        ++errors[*problem.frame];
    }

    std::uint64_t total = 0;
    std::vector<std::uint8_t> line;  // one row of the rules' drawing, reused for every row
    for (std::size_t i = 0; i < images.size(); ++i) {
        const OrvFrameBufferObject& image = images[i];
        const OrvFrame& frame = tree.frames[i];
        require(image.width == frame.width && image.height == frame.height && image.offset_x == frame.x_offset &&
                    image.offset_y == frame.y_offset && image.channels == 4,
                "an image does not carry its frame's size and offsets");
        const std::uint64_t bytes = std::uint64_t{frame.width} * frame.height * 4;
        if (image.pixels.empty()) {
            // Either the frame has no pixels, or it would take the render past its budget.
            require(bytes == 0 || total + bytes > kRenderBudget, "an image that fits the render budget was left empty");
            require(errors[i] == (bytes == 0 ? 0u : 1u), "a frame left empty was not reported once");
            continue;
        }
        require(image.pixels.size() == bytes, "an image has the wrong size");
        total += bytes;
        require(requireDrawnByTheRules(frame, image, palette, line) == errors[i],
                "not every run cut short by an index past the palette was reported once");
    }
    require(total <= kRenderBudget, "the images exceed the render budget");
    return 0;
}
