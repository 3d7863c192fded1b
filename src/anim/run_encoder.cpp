#include "anim/run_encoder.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "anim/orv_format.h"

namespace ravir {

namespace {

using orv::kMaxByteField;
constexpr std::size_t kMaxWidth = 65535;

std::vector<OrvPixelBlock> encodeRow(std::span<const std::uint8_t> indices, std::span<const std::uint8_t> opaque,
                                     bool shadow)
{
    std::vector<OrvPixelBlock> blocks;
    std::size_t x = 0;
    while (x < opaque.size()) {
        const std::size_t start = static_cast<std::size_t>(
            std::find_if(opaque.begin() + static_cast<std::ptrdiff_t>(x), opaque.end(), [](std::uint8_t o) { return o != 0; }) -
            opaque.begin());
        if (start == opaque.size()) {
            break;  // a trailing gap needs no run
        }
        const std::size_t end = static_cast<std::size_t>(
            std::find(opaque.begin() + static_cast<std::ptrdiff_t>(start), opaque.end(), std::uint8_t{0}) - opaque.begin());

        std::size_t gap = start - x;
        for (; gap > kMaxByteField; gap -= kMaxByteField) {
            blocks.push_back({static_cast<std::uint8_t>(kMaxByteField), 0, {}});
        }
        for (std::size_t from = start; from < end; from += kMaxByteField) {
            const std::size_t count = std::min(kMaxByteField, end - from);
            OrvPixelBlock run{static_cast<std::uint8_t>(from == start ? gap : 0), static_cast<std::uint8_t>(count), {}};
            if (!shadow) {
                run.colors.assign(indices.begin() + static_cast<std::ptrdiff_t>(from),
                                  indices.begin() + static_cast<std::ptrdiff_t>(from + count));
            }
            blocks.push_back(std::move(run));
        }
        x = end;
    }
    return blocks;
}

}  // namespace

OrvFrame encodeFrame(const IndexedImage& image, bool shadow)
{
    const std::size_t pixels = image.width * image.height;
    if (image.indices.size() != pixels || image.opaque.size() != pixels) {
        throw std::invalid_argument("an image of " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                                    " needs " + std::to_string(pixels) + " indices and mask bytes");
    }
    if (image.width > kMaxWidth) {
        throw std::invalid_argument("a frame is at most " + std::to_string(kMaxWidth) + " pixels wide, not " +
                                    std::to_string(image.width));
    }
    if (image.height > orv::kMaxHeight) {
        throw std::invalid_argument("a frame has at most " + std::to_string(orv::kMaxHeight) + " rows, not " +
                                    std::to_string(image.height));
    }

    OrvFrame frame;
    frame.width = static_cast<std::uint16_t>(image.width);
    frame.height = static_cast<std::uint16_t>(image.height);
    frame.is_shadow = shadow ? 1 : 0;
    frame.pixel_sets.reserve(image.height);
    for (std::size_t y = 0; y < image.height; ++y) {
        std::vector<OrvPixelBlock> blocks = encodeRow(image.indices.subspan(y * image.width, image.width),
                                                      image.opaque.subspan(y * image.width, image.width), shadow);
        if (blocks.size() > kMaxByteField) {
            throw std::invalid_argument("row " + std::to_string(y) + " needs " + std::to_string(blocks.size()) +
                                        " runs, but a row holds at most " + std::to_string(kMaxByteField));
        }
        frame.pixel_sets.push_back({static_cast<std::uint8_t>(blocks.size()), std::move(blocks)});
    }
    return frame;
}

void appendFrame(OrvData& tree, OrvFrame frame)
{
    const bool afterShadow =
        std::any_of(tree.frames.begin(), tree.frames.end(), [](const OrvFrame& f) { return f.is_shadow != 0; });
    appendFrame(tree, std::move(frame), afterShadow);
}

void appendFrame(OrvData& tree, OrvFrame frame, bool afterShadow)
{
    const std::uint16_t limit = orv::maxHeight(frame.is_shadow || afterShadow);
    if (frame.height > limit) {
        throw std::invalid_argument(std::string(frame.is_shadow ? "a shadow frame" : "a frame after a shadow frame") +
                                    " has at most " + std::to_string(limit) + " rows, not " +
                                    std::to_string(frame.height));
    }
    tree.frames.push_back(std::move(frame));
    tree.info.frame_count = static_cast<std::uint32_t>(tree.frames.size());
}

}  // namespace ravir
