#include "render/frame_buffer.h"

#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "common/error_line.h"
#include "render/image_storage.h"

namespace {

constexpr std::uint64_t kChannels = 4;
constexpr PalF::Color kShadow{0, 0, 0, 255};

std::uint64_t imageSize(const OrvFrame& frame)
{
    return std::uint64_t{frame.width} * frame.height * kChannels;
}

// Where each frame's image lies in the storage of one render, in frame order. A
// frame whose image would take the render past its size limit gets no place.
struct Layout {
    std::vector<std::optional<std::uint64_t>> offsets;
    std::uint64_t total = 0;
};

Layout layOut(const std::vector<OrvFrame>& frames)
{
    Layout layout;
    layout.offsets.reserve(frames.size());
    for (const OrvFrame& frame : frames) {
        const std::uint64_t size = imageSize(frame);
        if (layout.total + size > OrvFrameBuffer::kMaxRenderBytes) {
            layout.offsets.emplace_back();
            continue;
        }
        layout.offsets.emplace_back(layout.total);
        layout.total += size;
    }
    return layout;
}

// Paints the runs of one frame into its zeroed image. Every position is tested
// against the row's width and the image holds width x height pixels, so no write
// can leave the image; columns past the width are clipped, never wrapped.
void paintRows(const OrvFrame& frame, std::span<const PalF::Color> palette, std::uint8_t* image)
{
    const std::uint64_t width = frame.width;
    for (std::uint32_t row = 0; row < frame.height; ++row) {
        if (row >= frame.pixel_sets.size()) {
            ravir::reportError("Row " + std::to_string(row) + " exceeds OrvPixelSet count!");
            continue;
        }
        std::uint8_t* const line = image + row * width * kChannels;
        std::uint64_t x = 0;
        for (const OrvPixelBlock& block : frame.pixel_sets[row].blocks) {
            x += block.offset;
            if (block.color_count == 0) {
                continue;
            }
            if (frame.is_shadow) {
                for (unsigned n = 0; n < block.color_count && x < width; ++n, ++x) {
                    std::memcpy(line + x * kChannels, &kShadow, kChannels);
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
                std::memcpy(line + x * kChannels, &palette[index], kChannels);
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

    // All images of the render share one piece of memory, which lives as long as any of them.
    const Layout layout = layOut(data.frames);
    const std::shared_ptr<std::uint8_t[]> storage = ravir::allocateZeroedImages(layout.total);
    buffer.reserve(buffer.size() + data.frames.size());
    for (std::size_t index = 0; index < data.frames.size(); ++index) {
        const OrvFrame& frame = data.frames[index];
        OrvFrameBufferObject object;
        object.width = frame.width;
        object.height = frame.height;
        object.offset_x = frame.x_offset;
        object.offset_y = frame.y_offset;
        object.channels = static_cast<std::int32_t>(kChannels);

        if (!layout.offsets[index]) {
            ravir::reportError("Frame " + std::to_string(index) + " exceeds the render size limit!");
            buffer.push_back(std::move(object));
            continue;
        }
        std::uint8_t* const image = storage.get() + *layout.offsets[index];
        paintRows(frame, palette, image);
        if (const std::uint64_t size = imageSize(frame); size != 0) {
            object.pixels = PixelBytes(std::shared_ptr<const std::uint8_t[]>(storage, image), size);
        }
        buffer.push_back(std::move(object));
    }
    return 1;
}
