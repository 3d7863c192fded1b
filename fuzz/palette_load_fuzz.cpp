// Palette files: whatever the bytes, decoding either refuses the color count with one
// error and leaves the colors as they were, or yields 256 colors (each stored color as
// its record's bytes, zeros where the file ends, then opaque black), with a warning
// exactly when the file is shorter than its count; color model 1 exchanges r and b;
// and the colors survive encoding and a second decoding, under either model.

#include "fuzz_support.h"
#include "palette/pal_codec.h"

using ravir::fuzz::countOf;
using ravir::fuzz::require;

namespace {

// Decoding a file the encoder wrote: it must read without any problem.
std::vector<PalF::Color> reread(const std::vector<std::uint8_t>& bytes, int model)
{
    std::vector<PalF::Color> colors;
    ravir::ProblemList problems;
    require(ravir::decodePalette(bytes, model, colors, problems) == 1 && problems.problems.empty(),
            "an encoded palette does not read back cleanly");
    return colors;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    // Colors held before: a refusal must leave them as they are.
    const std::vector<PalF::Color> before(3, PalF::Color{1, 2, 3, 4});
    std::vector<PalF::Color> plain = before;
    std::vector<PalF::Color> swapped = before;
    ravir::ProblemList plainProblems;
    ravir::ProblemList swappedProblems;
    const int result = ravir::decodePalette(bytes, 0, plain, plainProblems);
    require(ravir::decodePalette(bytes, 1, swapped, swappedProblems) == result, "the color model changed the result");
    require(plainProblems.problems == swappedProblems.problems, "the color model changed the problems reported");
    if (result != 1) {
        require(result == -2, "a palette gave a result other than 1 or -2");
        require(plain == before && swapped == before, "a refused palette changed the colors");
        require(plainProblems.problems.size() == 1 && countOf(plainProblems, ravir::Problem::Kind::error) == 1,
                "a refused palette was not reported once as an error");
        return 0;
    }

    require(plain.size() == ravir::kMaxPaletteColors, "a decoded palette does not hold 256 colors");
    const auto byteAt = [&](std::size_t offset) -> std::uint8_t { return offset < size ? data[offset] : 0; };
    const std::size_t count = byteAt(0) | std::size_t{byteAt(1)} << 8;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const std::size_t record = ravir::kPaletteHeaderSize + ravir::kColorRecordSize * i;
        const PalF::Color stored = i < count ? PalF::Color{byteAt(record), byteAt(record + 1), byteAt(record + 2),
                                                           byteAt(record + 3)}
                                             : PalF::Color{0, 0, 0, 255};
        require(plain[i] == stored, "a color is not its record's bytes, or opaque black past the count");
        require(swapped[i] == PalF::Color{stored.b, stored.g, stored.r, stored.a},
                "color model 1 did not exchange r and b");
    }
    const bool shorter = size < ravir::kPaletteHeaderSize + ravir::kColorRecordSize * count;
    require(plainProblems.problems.size() == (shorter ? 1u : 0u) &&
                countOf(plainProblems, ravir::Problem::Kind::warning) == plainProblems.problems.size(),
            "a palette was not warned about exactly when it is shorter than its count");

    require(reread(ravir::encodePalette(plain, 0), 0) == plain, "an encoded palette reads back differently");
    // Colors are written as held, so under model 1 they are exchanged once more on reading.
    require(reread(ravir::encodePalette(swapped, 1), 1) == plain,
            "a palette encoded under model 1 does not read back exchanged again");
    return 0;
}
