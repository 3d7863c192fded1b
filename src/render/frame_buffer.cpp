#include "render/frame_buffer.h"

#include <string>

#include "common/error_line.h"

namespace {

constexpr std::uint64_t kChannels = 4;

// Paints the runs of one frame into its zeroed image. Every position is tested
// against the row's width and the image holds width x height pixels, so no write
// can leave the image; columns past the width are clipped, never wrapped.
void paintRows(const OrvFrame& frame, const std::vector<PalF::Color>& palette, std::vector<unsigned char>& pixels)
{
    const std::uint64_t width = frame.width;
    for (std::uint32_t row = 0; row < frame.height; ++row) {
        if (row >= frame.pixel_sets.size()) {
            ravir::reportError("Row " + std::to_string(row) + " exceeds OrvPixelSet count!");
            continue;
        }
        const std::uint64_t rowStart = row * width;
        std::uint64_t x = 0;
        for (const OrvPixelBlock& block : frame.pixel_sets[row].blocks) {
            x += block.offset;
            if (block.color_count == 0) {
                continue;
            }
            if (frame.is_shadow) {
                for (unsigned n = 0; n < block.color_count && x < width; ++n, ++x) {
                    const auto position = static_cast<unsigned int>((rowStart + x) * kChannels);
                    OrvFrameBuffer::setRGBA(pixels, position, 0, 0, 0, 255);
                }
                continue;
            }
            // All stored indices are drawn: color_count only tells an empty run apart.
            for (const std::uint8_t index : block.colors) {
                if (x >= width) {
                    break;
                }
                if (index >= palette.size()) {
                    ravir::reportError("Out-of-bounds color index! (" + std::to_string(index) + ")");
                    break;
                }
                const PalF::Color& color = palette[index];
                const auto position = static_cast<unsigned int>((rowStart + x) * kChannels);
                OrvFrameBuffer::setRGBA(pixels, position, color.r, color.g, color.b, color.a);
                ++x;
            }
        }
    }
}

}  // namespace

OrvFrameBuffer::OrvFrameBuffer(const OrvData& animation) : data(animation)
{
    createBuffer();
}

int OrvFrameBuffer::createBuffer()
{
    if (data.frames.empty()) {
        return 0;
    }
    // One copy per render: the palette cannot change while the frames are drawn.
    const std::vector<PalF::Color> palette = data.palette ? data.palette->colors() : std::vector<PalF::Color>{};
    if (palette.empty()) {
        ravir::reportError("No palette data available!");
        return -1;
    }

    buffer.reserve(buffer.size() + data.frames.size());
    std::uint64_t renderedBytes = 0;
    for (std::size_t index = 0; index < data.frames.size(); ++index) {
        const OrvFrame& frame = data.frames[index];
        OrvFrameBufferObject object;
        object.width = frame.width;
        object.height = frame.height;
        object.offset_x = frame.x_offset;
        object.offset_y = frame.y_offset;
        object.channels = static_cast<std::int32_t>(kChannels);

        const std::uint64_t size = std::uint64_t{frame.width} * frame.height * kChannels;
        if (renderedBytes + size > kMaxRenderBytes) {
            ravir::reportError("Frame " + std::to_string(index) + " exceeds the render size limit!");
            buffer.push_back(std::move(object));
            continue;
        }
        renderedBytes += size;

        std::vector<unsigned char> pixels(size);
        paintRows(frame, palette, pixels);
        object.pixels = PixelBytes(std::move(pixels));
        buffer.push_back(std::move(object));
    }
    return 1;
}
