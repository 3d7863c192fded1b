#include "palette/pal_codec.h"

#include <stdexcept>
#include <utility>
#include <string>

#include "common/byte_reader.h"
#include "common/byte_writer.h"

namespace ravir {

namespace {

constexpr PalF::Color kOpaqueBlack{0, 0, 0, 255};

}  // namespace

int decodePalette(std::span<const std::uint8_t> bytes, int colorModel, std::vector<PalF::Color>& colors,
                  ProblemSink& problems, const std::string& fileName)
{
    ByteReader in(bytes);
    const unsigned count = in.u16();
    if (count == 0 || count > kMaxPaletteColors) {
        problems.error("Invalid color count: " + std::to_string(count));
        return -2;
    }
    in.u16();  // the color model field: the caller's model decides the byte order

    colors.clear();
    if (colors.capacity() < kMaxPaletteColors) {
        colors.reserve(kMaxPaletteColors);
    }
    const bool swapRedBlue = colorModel == 1;
    for (unsigned i = 0; i < count; ++i) {
        PalF::Color color{in.u8(), in.u8(), in.u8(), in.u8()};
        if (swapRedBlue) {
            std::swap(color.r, color.b);
        }
        colors.push_back(color);
    }
    if (in.ranOut()) {
        const std::size_t whole =
            bytes.size() < kPaletteHeaderSize ? 0 : (bytes.size() - kPaletteHeaderSize) / kColorRecordSize;
        problems.warning(fileName + " holds " + std::to_string(whole) + " of its " + std::to_string(count) +
                         " colors; the " + std::to_string(count - whole) + " missing read as zeros");
    }
    colors.resize(kMaxPaletteColors, kOpaqueBlack);
    return 1;
}

std::vector<std::uint8_t> encodePalette(const std::vector<PalF::Color>& colors, int colorModel)
{
    if (colors.size() > kMaxPaletteColors) {
        throw std::invalid_argument("Cannot save: the palette holds " + std::to_string(colors.size()) +
                                    " colors, and a palette file holds at most " +
                                    std::to_string(kMaxPaletteColors));
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kPaletteHeaderSize + kColorRecordSize * colors.size());
    ByteWriter out(bytes);
    out.u16(static_cast<std::uint16_t>(colors.size()));
    out.u16(static_cast<std::uint16_t>(colorModel));
    for (const PalF::Color& color : colors) {
        const std::uint8_t record[] = {color.r, color.g, color.b, color.a};
        out.bytes(record);
    }
    return bytes;
}

}  // namespace ravir
