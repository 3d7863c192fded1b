#include "palette/pal_file.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common/error_line.h"

namespace {

constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kRecordSize = 4;
constexpr std::size_t kMaxColors = 256;
constexpr PalF::Color kOpaqueBlack{0, 0, 0, 255};

// A FIFO, terminal or socket would block the read until someone writes to it, and an
// animation's stored palette location can name any path: such entries do not open.
bool mayBlock(const std::string& path)
{
    std::error_code error;
    switch (std::filesystem::status(path, error).type()) {
    case std::filesystem::file_type::fifo:
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::socket:
        return true;
    default:
        return false;
    }
}

}  // namespace

PalF::Color PalF::getColor(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= colors_.size()) {
        ravir::reportError("Color index out of bounds: " + std::to_string(index));
        throw std::out_of_range("Color index out of bounds");
    }
    return colors_[static_cast<std::size_t>(index)];
}

int PalF::load(std::string path)
{
    std::ifstream in;
    if (!mayBlock(path)) {
        in.open(path, std::ios::binary);
    }
    if (!in.is_open()) {
        ravir::reportError("Could not open palette file: " + path);
        return -1;
    }

    // Everything a readable palette can hold, in one read; bytes the file lacks stay 0,
    // so a short count field keeps its low byte and missing records read as zeros.
    std::array<std::uint8_t, kHeaderSize + kRecordSize * kMaxColors> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

    const auto count = static_cast<unsigned>(bytes[0] | (bytes[1] << 8));
    if (count == 0 || count > kMaxColors) {
        ravir::reportError("Invalid color count: " + std::to_string(count));
        return -2;
    }

    colors_.clear();
    if (colors_.capacity() < kMaxColors) {
        colors_.reserve(kMaxColors);
    }
    const bool swapRedBlue = colorModel_ == 1;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* record = bytes.data() + kHeaderSize + i * kRecordSize;
        Color color{record[0], record[1], record[2], record[3]};
        if (swapRedBlue) {
            std::swap(color.r, color.b);
        }
        colors_.push_back(color);
    }
    colors_.resize(kMaxColors, kOpaqueBlack);
    return 1;
}

void PalF::save(std::string path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        ravir::reportError("Could not open palette file for writing: " + path);
        return;
    }

    const auto count = static_cast<std::uint16_t>(colors_.size());
    const auto model = static_cast<std::uint16_t>(colorModel_);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kHeaderSize + kRecordSize * colors_.size());
    bytes.insert(bytes.end(), {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                               static_cast<std::uint8_t>(model), static_cast<std::uint8_t>(model >> 8)});
    for (const Color& color : colors_) {
        bytes.insert(bytes.end(), {color.r, color.g, color.b, color.a});
    }

    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    // A full disk or a failed close must not pass for a saved palette.
    if (!out) {
        ravir::reportError("Could not write palette file: " + path);
    }
}
