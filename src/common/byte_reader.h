#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace ravir {

// Reads little-endian fields from bytes held in memory. A read past the end gets
// zeros for the missing bytes (a field cut short keeps its low bytes), which is how
// truncated files are read: every overrun is handled here, in one place, and
// remembered, so that the caller can tell where the data ran out.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(little<1>()); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(little<2>()); }
    std::int16_t i16() { return static_cast<std::int16_t>(little<2>()); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(little<4>()); }

    // The bytes of the next `count` that the input still holds; moves past them.
    std::span<const std::uint8_t> take(std::uint64_t count)
    {
        const std::size_t available = static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining()));
        ranOut_ = ranOut_ || available < count;
        const std::span<const std::uint8_t> part = bytes_.subspan(position_, available);
        position_ += available;
        return part;
    }

    // The bytes not read yet, for a caller that reads a record of bounded size without
    // a check per field once it knows they hold all of it; skip() then moves past it.
    std::span<const std::uint8_t> rest() const { return bytes_.subspan(position_); }
    void skip(std::size_t count) { position_ += std::min(count, remaining()); }

    void seek(std::size_t offset) { position_ = std::min(offset, bytes_.size()); }
    std::size_t remaining() const { return bytes_.size() - position_; }
    std::size_t position() const { return position_; }
    // Whether any read so far wanted more bytes than were left.
    bool ranOut() const { return ranOut_; }

private:
    template <unsigned Width>
    std::uint32_t little()
    {
        std::uint32_t value = 0;
        if (remaining() >= Width) {
            // The common case, a field the input holds whole, with a single test.
            for (unsigned i = 0; i < Width; ++i) {
                value |= std::uint32_t{bytes_[position_ + i]} << (8 * i);
            }
            position_ += Width;
            return value;
        }
        const std::span<const std::uint8_t> part = take(Width);
        for (std::size_t i = 0; i < part.size(); ++i) {
            value |= std::uint32_t{part[i]} << (8 * i);
        }
        return value;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    bool ranOut_ = false;
};

}  // namespace ravir
