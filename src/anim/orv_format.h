#pragma once

// The rules of the animation file format, in one place for the decoder, the
// encoder, the run encoder and the fuzz checks.
//
// Layout, little-endian, no padding:
//   optional background header: "FATZ", u32 reserved, u8 background flag
//   u32 speed, u32 location size L, L bytes palette location (NUL-terminated),
//   u32 frame count (without the background frame), then the frame records.
// Frame record: u32 frame_size, u16 height word (bit 15: shadow frame), u16 width,
//   i16 y_offset, i16 x_offset, u8 unk1, u8 unk2, then `height` rows.
// Row: u8 block count, then blocks of u8 offset, u8 color count and, outside
//   shadow frames, one palette index per pixel.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ravir::orv {

inline constexpr std::array<std::uint8_t, 4> kMagic = {'F', 'A', 'T', 'Z'};
// The magic read as a speed: a file without background header whose speed spells
// it would read back as having one.
inline constexpr std::uint32_t kMagicAsSpeed = 0x5A544146;
inline constexpr std::size_t kBackgroundFlagOffset = 8;  // after the magic and the reserved word
inline constexpr std::size_t kBackgroundHeaderSize = 9;
inline constexpr std::size_t kBodyHeaderSize = 12;  // speed, location size, frame count
inline constexpr std::size_t kFrameHeaderSize = 14;

inline constexpr std::uint16_t kShadowBit = 0x8000;
inline constexpr std::uint16_t kMaxHeight = 0x7FFF;       // bit 15 is the shadow flag
inline constexpr std::uint16_t kMaxShortHeight = 0xFF;   // heights from the first shadow frame on
inline constexpr std::size_t kMaxByteField = 255;         // runs per row, pixels per run, pixels skipped
// The most bytes a row record can take: its run count and as many runs of as many indices.
inline constexpr std::size_t kMaxRowBytes = 1 + kMaxByteField * (2 + kMaxByteField);

// A file has the background header exactly when it starts with the magic.
inline bool startsWithBackgroundHeader(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= kMagic.size() && std::equal(kMagic.begin(), kMagic.end(), bytes.begin());
}

// What the writer stores in every frame's unk1 and unk2, whatever the tree held.
inline constexpr std::uint8_t kWrittenUnk1 = 0;
inline constexpr std::uint8_t kWrittenUnk2 = 1;

// From the first shadow frame of a file on, every height word keeps only its low
// 8 bits: `shortHeights` is whether this frame is a shadow frame or follows one.
inline constexpr std::uint16_t maxHeight(bool shortHeights)
{
    return shortHeights ? kMaxShortHeight : kMaxHeight;
}

struct HeightWord {
    bool shadow;
    std::uint16_t height;
};

inline constexpr HeightWord decodeHeightWord(std::uint16_t word, bool afterShadow)
{
    const bool shadow = (word & kShadowBit) != 0;
    return {shadow, (shadow || afterShadow) ? static_cast<std::uint16_t>(word & kMaxShortHeight) : word};
}

// The word for a height that fits (maxHeight), so that it decodes to itself.
inline constexpr std::uint16_t encodeHeightWord(std::uint16_t height, bool shadow)
{
    return shadow ? static_cast<std::uint16_t>(kShadowBit | height) : height;
}

}  // namespace ravir::orv
