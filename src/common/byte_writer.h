#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ravir {

// Appends little-endian fields to bytes held in memory: the counterpart of ByteReader.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void u8(std::uint8_t value) { out_.push_back(value); }
    void u16(std::uint16_t value)
    {
        out_.insert(out_.end(), {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)});
    }
    void i16(std::int16_t value) { u16(static_cast<std::uint16_t>(value)); }
    void u32(std::uint32_t value)
    {
        u16(static_cast<std::uint16_t>(value));
        u16(static_cast<std::uint16_t>(value >> 16));
    }
    void bytes(std::span<const std::uint8_t> values) { out_.insert(out_.end(), values.begin(), values.end()); }
    void text(std::string_view text) { out_.insert(out_.end(), text.begin(), text.end()); }

private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace ravir
