#pragma once

// The palette file format on bytes:
//   u16 color count N (1..256 when read), u16 color model (written, never read),
//   then N records of 4 bytes, r g b a (b g r a when read with color model 1).
// All integers are little-endian.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/problems.h"
#include "palette/pal_file.h"

namespace ravir {

inline constexpr std::size_t kPaletteHeaderSize = 4;
inline constexpr std::size_t kColorRecordSize = 4;
inline constexpr std::size_t kMaxPaletteColors = 256;
// Everything a readable palette file can hold; bytes after it are never read.
inline constexpr std::size_t kMaxPaletteBytes = kPaletteHeaderSize + kColorRecordSize * kMaxPaletteColors;

// Reads a palette file's bytes into `colors`: the file's colors, then opaque black up
// to 256 entries. Returns 1, or -2 for a count of 0 or above 256, which is reported
// and leaves `colors` as it was. A file shorter than its count is reported as a
// warning naming `fileName`; the colors it lacks read as zeros.
int decodePalette(std::span<const std::uint8_t> bytes, int colorModel, std::vector<PalF::Color>& colors,
                  ProblemSink& problems, const std::string& fileName = "The palette file");

// The file holding `colors`. Throws std::invalid_argument for more than 256 colors,
// whose count the file could not hold.
std::vector<std::uint8_t> encodePalette(const std::vector<PalF::Color>& colors, int colorModel);

}  // namespace ravir
