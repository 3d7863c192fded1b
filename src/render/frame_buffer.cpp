#include "render/frame_buffer.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "render/image_storage.h"

namespace ravir {

namespace {

constexpr std::uint64_t kChannels = 4;
constexpr PalF::Color kShadow{0, 0, 0, 255};
static_assert(sizeof(PalF::Color) == kChannels, "a palette color is copied as one pixel");

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

Layout layOut(const std::vector<OrvFrame>& frames, std::uint64_t maxBytes)
{
    Layout layout;
    layout.offsets.reserve(frames.size());
    for (const OrvFrame& frame : frames) {
        const std::uint64_t size = imageSize(frame);
        if (layout.total + size > maxBytes) {
            layout.offsets.emplace_back();
            continue;
        }
        layout.offsets.emplace_back(layout.total);
        layout.total += size;
    }
    return layout;
}

// Paints the colors of `indices` from `out` on, up to the first index beyond the
// palette, and returns how many it painted. Pixels go out two to a store, as the
// stores and not the lookups are what bounds this loop. A palette of 256 colors or
// more has one for every index a byte can hold, so it needs no test (`Checked` false).
template <bool Checked>
std::size_t paintIndices(std::span<const std::uint8_t> indices, std::span<const PalF::Color> palette,
                         std::uint8_t* out)
{
    const auto known = [&](std::uint8_t index) { return !Checked || index < palette.size(); };
    std::size_t n = 0;
    for (; n + 1 < indices.size() && known(indices[n]) && known(indices[n + 1]); n += 2) {
        const PalF::Color pair[] = {palette[indices[n]], palette[indices[n + 1]]};
        std::memcpy(out + n * kChannels, pair, sizeof pair);
    }
    for (; n < indices.size() && known(indices[n]); ++n) {
        std::memcpy(out + n * kChannels, &palette[indices[n]], kChannels);
    }
    return n;
}

// Paints the runs of one row into its zeroed line. Each run is first cut at the
// row's width (columns past it are clipped, never wrapped), so that within a run
// only the palette index needs a test.
void paintRow(const OrvPixelSet& row, bool shadow, std::span<const PalF::Color> palette, std::uint8_t* line,
              std::uint64_t width, ProblemSink& problems, std::uint32_t frameIndex)
{
    std::uint64_t x = 0;
    for (const OrvPixelBlock& block : row.blocks) {
        x += block.offset;
        if (block.color_count == 0 || x >= width) {
            continue;
        }
        std::uint8_t* out = line + x * kChannels;
        if (shadow) {
            const std::uint64_t count = std::min<std::uint64_t>(block.color_count, width - x);
            for (std::uint64_t n = 0; n < count; ++n, out += kChannels) {
                std::memcpy(out, &kShadow, kChannels);
            }
            x += count;
            continue;
        }
        // All stored indices are drawn: color_count only tells an empty run apart.
        const std::span<const std::uint8_t> indices(block.colors.data(),
                                                    std::min<std::uint64_t>(block.colors.size(), width - x));
        const std::size_t painted = palette.size() > 0xFF ? paintIndices<false>(indices, palette, out)
                                                          : paintIndices<true>(indices, palette, out);
        x += painted;
        if (painted < indices.size()) {
            problems.error("Out-of-bounds color index! (" + std::to_string(indices[painted]) + ")", frameIndex);
        }
    }
}

// Paints one frame into its zeroed image, which holds width x height pixels.
void paintRows(const OrvFrame& frame, std::span<const PalF::Color> palette, std::uint8_t* image,
               ProblemSink& problems, std::uint32_t frameIndex)
{
    const std::uint64_t width = frame.width;
    for (std::uint32_t row = 0; row < frame.height; ++row) {
        if (row >= frame.pixel_sets.size()) {
            problems.error("Row " + std::to_string(row) + " exceeds OrvPixelSet count!", frameIndex);
            continue;
        }
        paintRow(frame.pixel_sets[row], frame.is_shadow != 0, palette, image + row * width * kChannels, width, problems,
                 frameIndex);
    }
}

}  // namespace

}  // namespace ravir

OrvFrameBuffer::OrvFrameBuffer(const OrvData& animation, ravir::ProblemSink& problemSink, std::uint64_t maxBytes)
    : data(animation), problems(problemSink), maxRenderBytes(maxBytes)
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
        problems.error("No palette data available!");
        return -1;
    }

    // All images of the render share one piece of memory, which lives as long as any of them.
    const ravir::Layout layout = ravir::layOut(data.frames, maxRenderBytes);
    const std::shared_ptr<std::uint8_t[]> storage = ravir::allocateZeroedImages(layout.total);
    buffer.reserve(buffer.size() + data.frames.size());
    for (std::size_t index = 0; index < data.frames.size(); ++index) {
        const OrvFrame& frame = data.frames[index];
        OrvFrameBufferObject object;
        object.width = frame.width;
        object.height = frame.height;
        object.offset_x = frame.x_offset;
        object.offset_y = frame.y_offset;
        object.channels = static_cast<std::int32_t>(ravir::kChannels);

        if (!layout.offsets[index]) {
            problems.error("Frame " + std::to_string(index) + " exceeds the render size limit!",
                           static_cast<std::uint32_t>(index));
            buffer.push_back(std::move(object));
            continue;
        }
        std::uint8_t* const image = storage.get() + *layout.offsets[index];
        ravir::paintRows(frame, palette, image, problems, static_cast<std::uint32_t>(index));
        if (const std::uint64_t size = ravir::imageSize(frame); size != 0) {
            object.pixels = ravir::PixelBytes(std::shared_ptr<const std::uint8_t[]>(storage, image), size);
        }
        buffer.push_back(std::move(object));
    }
    return 1;
}
