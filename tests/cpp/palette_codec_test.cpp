// Decoding and encoding palette files in memory.

#include <stdexcept>

#include "palette/pal_codec.h"
#include "test_support.h"

namespace ravir::test {
namespace {

const PalF::Color kBlack{0, 0, 0, 255};

struct Decoded {
    int result = 0;
    std::vector<PalF::Color> colors;
    ProblemList problems;
};

Decoded decode(const Bytes& bytes, int colorModel = 0, std::vector<PalF::Color> before = {})
{
    Decoded d;
    d.colors = std::move(before);
    d.result = decodePalette(bytes, colorModel, d.colors, d.problems);
    return d;
}

TEST(PaletteDecode, PadsToFullPaletteWithOpaqueBlack)
{
    const Decoded d = decode(paletteBytes({{1, 2, 3, 4}}, 1));
    EXPECT_EQ(d.result, 1);
    EXPECT_TRUE(d.problems.problems.empty());
    std::vector<PalF::Color> expected(256, kBlack);
    expected[0] = {1, 2, 3, 4};
    EXPECT_EQ(d.colors, expected);
}

TEST(PaletteDecode, FullPaletteIsTakenWhole)
{
    const Decoded d = decode(paletteBytes(rampColors(256), 256));
    EXPECT_EQ(d.colors, rampColors(256));
    EXPECT_TRUE(d.problems.problems.empty());
}

TEST(PaletteDecode, BytesAfterTheLastRecordAreIgnored)
{
    Bytes bytes = paletteBytes(rampColors(2), 2);
    bytes.insert(bytes.end(), {9, 9, 9, 9, 9});
    const Decoded d = decode(bytes);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.colors[2], kBlack);
    EXPECT_TRUE(d.problems.problems.empty());
}

struct BadCount {
    const char* name;
    Bytes bytes;
    std::string shown;
};

class PaletteBadCount : public testing::TestWithParam<BadCount> {};

TEST_P(PaletteBadCount, IsRejectedAndLeavesColorsAlone)
{
    const std::vector<PalF::Color> before{{7, 7, 7, 7}, {8, 8, 8, 8}};
    const Decoded d = decode(GetParam().bytes, 0, before);
    EXPECT_EQ(d.result, -2);
    const Problem expected{Problem::Kind::error, "Invalid color count: " + GetParam().shown, {}, {}};
    EXPECT_EQ(d.problems.problems, std::vector<Problem>{expected});
    EXPECT_EQ(d.colors, before);
}

INSTANTIATE_TEST_SUITE_P(Counts, PaletteBadCount,
                         testing::Values(BadCount{"Above256", paletteBytes(rampColors(257), 257), "257"},
                                         BadCount{"Zero", paletteBytes({}, 0), "0"},
                                         BadCount{"EmptyFile", {}, "0"},
                                         BadCount{"HeaderOnlyHuge", {0x34, 0x12}, "4660"},
                                         BadCount{"HighByteOnly", {0x00, 0x03}, "768"}),
                         [](const auto& test) { return std::string(test.param.name); });

struct ShortFile {
    const char* name;
    Bytes bytes;
    std::vector<PalF::Color> first;  // the entries before the opaque black padding
    std::string warning;
};

class PaletteShortFile : public testing::TestWithParam<ShortFile> {};

TEST_P(PaletteShortFile, ReadsTheMissingRecordsAsZerosAndSaysHowManyAreMissing)
{
    const ShortFile& c = GetParam();
    const Decoded d = decode(c.bytes);
    EXPECT_EQ(d.result, 1);
    std::vector<PalF::Color> colors = c.first;
    colors.resize(256, kBlack);
    EXPECT_EQ(d.colors, colors);
    const Problem expected{Problem::Kind::warning, c.warning, {}, {}};
    EXPECT_EQ(d.problems.problems, std::vector<Problem>{expected});
}

INSTANTIATE_TEST_SUITE_P(
    Files, PaletteShortFile,
    testing::Values(
        // Count 3, the rest of the header and every record missing.
        ShortFile{"OneByte", {3}, {{}, {}, {}}, "The palette file holds 0 of its 3 colors; the 3 missing read as zeros"},
        // Half of the second record.
        ShortFile{"HalfARecord",
                  {3, 0, 0, 0, 10, 20, 30, 40, 50, 60},
                  {{10, 20, 30, 40}, {50, 60, 0, 0}, {}},
                  "The palette file holds 1 of its 3 colors; the 2 missing read as zeros"}),
    [](const auto& test) { return std::string(test.param.name); });

class PaletteColorModel : public testing::TestWithParam<std::pair<int, PalF::Color>> {};

TEST_P(PaletteColorModel, DecidesTheByteOrderOfRecords)
{
    // The model stored in the file is never consulted.
    const Decoded d = decode(paletteBytes({{10, 20, 30, 40}}, 1, 1), GetParam().first);
    EXPECT_EQ(d.colors[0], GetParam().second);
    EXPECT_EQ(d.colors[1], kBlack);
}

INSTANTIATE_TEST_SUITE_P(Models, PaletteColorModel,
                         testing::Values(std::pair{1, PalF::Color{30, 20, 10, 40}},
                                         std::pair{0, PalF::Color{10, 20, 30, 40}},
                                         std::pair{2, PalF::Color{10, 20, 30, 40}},
                                         std::pair{-1, PalF::Color{10, 20, 30, 40}}),
                         [](const auto& test) { return "Model" + std::to_string(test.index); });

TEST(PaletteEncode, WritesCountModelAndRecordsInRgbaOrder)
{
    EXPECT_EQ(encodePalette({{1, 2, 3, 4}, {5, 6, 7, 8}}, 0x12345), (Bytes{2, 0, 0x45, 0x23, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(encodePalette({}, 0), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(encodePalette(rampColors(256), 0), paletteBytes(rampColors(256), 256));
}

TEST(PaletteEncode, SwappedDecodeEncodesRgbaAndSwapsAgainOnDecode)
{
    const Decoded swapped = decode(paletteBytes({{10, 20, 30, 40}}, 1), 1);
    const Bytes encoded = encodePalette(swapped.colors, 1);
    ASSERT_EQ(encoded.size(), 4u + 256 * 4);
    EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + 8), (Bytes{0, 1, 1, 0, 30, 20, 10, 40}));
    EXPECT_EQ(decode(encoded, 1).colors[0], (PalF::Color{10, 20, 30, 40}));
}

TEST(PaletteEncode, MoreColorsThanAFileHoldsAreRefused)
{
    EXPECT_NO_THROW(encodePalette(rampColors(256), 0));
    try {
        encodePalette(std::vector<PalF::Color>(300), 0);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot save: the palette holds 300 colors, and a palette file holds at most 256");
    }
}

}  // namespace
}  // namespace ravir::test
