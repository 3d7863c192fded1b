#include <sys/stat.h>

#include <stdexcept>

#include "palette/pal_file.h"
#include "test_support.h"

namespace ravir::test {
namespace {

class PaletteFile : public TempDirTest {
protected:
    fs::path palPath() const { return dir / "a.pal"; }

    // Loads `bytes` as a palette file; returns the result and what went to stderr.
    std::pair<int, std::string> loadBytes(PalF& palette, const Bytes& bytes)
    {
        writeFile(palPath(), bytes);
        int result = 0;
        const std::string err = stderrOf([&] { result = palette.load(palPath().string()); });
        return {result, err};
    }
};

const PalF::Color kBlack{0, 0, 0, 255};

TEST_F(PaletteFile, PadsToFullPaletteWithOpaqueBlack)
{
    PalF palette;
    const auto [result, err] = loadBytes(palette, paletteBytes({{1, 2, 3, 4}}, 1));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(err, "");
    const auto colors = palette.colors();
    ASSERT_EQ(colors.size(), 256u);
    EXPECT_EQ(colors[0], (PalF::Color{1, 2, 3, 4}));
    for (std::size_t i = 1; i < colors.size(); ++i) {
        EXPECT_EQ(colors[i], kBlack) << i;
    }
}

TEST_F(PaletteFile, FullPaletteIsTakenWhole)
{
    PalF palette;
    const auto colors = rampColors(256);
    EXPECT_EQ(loadBytes(palette, paletteBytes(colors, 256)).first, 1);
    EXPECT_EQ(palette.colors(), colors);
}

TEST_F(PaletteFile, BytesAfterTheLastRecordAreIgnored)
{
    PalF palette;
    Bytes bytes = paletteBytes(rampColors(2), 2);
    bytes.insert(bytes.end(), {9, 9, 9, 9, 9});
    EXPECT_EQ(loadBytes(palette, bytes).first, 1);
    EXPECT_EQ(palette.colors()[2], kBlack);
}

struct BadCount {
    const char* name;
    Bytes bytes;
    std::string shown;
};

class PaletteBadCount : public PaletteFile, public testing::WithParamInterface<BadCount> {};

TEST_P(PaletteBadCount, IsRejectedAndLeavesColorsAlone)
{
    PalF palette;
    const std::vector<PalF::Color> before{{7, 7, 7, 7}, {8, 8, 8, 8}};
    palette.colors(before);
    const auto [result, err] = loadBytes(palette, GetParam().bytes);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(err, "ERROR: Invalid color count: " + GetParam().shown + "\n");
    EXPECT_EQ(palette.colors(), before);
}

INSTANTIATE_TEST_SUITE_P(Counts, PaletteBadCount,
                         testing::Values(BadCount{"Above256", paletteBytes(rampColors(257), 257), "257"},
                                         BadCount{"Zero", paletteBytes({}, 0), "0"},
                                         BadCount{"EmptyFile", {}, "0"},
                                         BadCount{"HeaderOnlyHuge", {0x34, 0x12}, "4660"},
                                         BadCount{"HighByteOnly", {0x00, 0x03}, "768"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(PaletteFile, OneByteFileKeepsTheLowByteOfTheCount)
{
    PalF palette;
    const auto [result, err] = loadBytes(palette, {3});
    EXPECT_EQ(result, 1);  // count 3, header and records missing: read as zeros
    const auto colors = palette.colors();
    EXPECT_EQ(colors[0], (PalF::Color{0, 0, 0, 0}));
    EXPECT_EQ(colors[2], (PalF::Color{0, 0, 0, 0}));
    EXPECT_EQ(colors[3], kBlack);
}

TEST_F(PaletteFile, RecordsMissingFromAShortFileReadAsZeros)
{
    PalF palette;
    Bytes bytes = paletteBytes({{10, 20, 30, 40}}, 3);
    bytes.insert(bytes.end(), {50, 60});  // half of the second record
    EXPECT_EQ(loadBytes(palette, bytes).first, 1);
    const auto colors = palette.colors();
    EXPECT_EQ(colors[0], (PalF::Color{10, 20, 30, 40}));
    EXPECT_EQ(colors[1], (PalF::Color{50, 60, 0, 0}));
    EXPECT_EQ(colors[2], (PalF::Color{0, 0, 0, 0}));
    EXPECT_EQ(colors[3], kBlack);
}

class PaletteColorModel : public PaletteFile, public testing::WithParamInterface<std::pair<int, PalF::Color>> {};

TEST_P(PaletteColorModel, DecidesTheByteOrderOfRecords)
{
    PalF palette;
    palette.colorModel(GetParam().first);
    // The model stored in the file is never consulted.
    EXPECT_EQ(loadBytes(palette, paletteBytes({{10, 20, 30, 40}}, 1, 1)).first, 1);
    EXPECT_EQ(palette.colors()[0], GetParam().second);
    EXPECT_EQ(palette.colors()[1], kBlack);
}

INSTANTIATE_TEST_SUITE_P(Models, PaletteColorModel,
                         testing::Values(std::pair{1, PalF::Color{30, 20, 10, 40}},
                                         std::pair{0, PalF::Color{10, 20, 30, 40}},
                                         std::pair{2, PalF::Color{10, 20, 30, 40}},
                                         std::pair{-1, PalF::Color{10, 20, 30, 40}}),
                         [](const auto& test) { return "Model" + std::to_string(test.index); });

TEST_F(PaletteFile, MissingFileIsReportedAndChangesNothing)
{
    PalF palette;
    palette.colors({{1, 1, 1, 1}});
    int result = 0;
    const std::string path = (dir / "none.pal").string();
    const std::string err = stderrOf([&] { result = palette.load(path); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(err, "ERROR: Could not open palette file: " + path + "\n");
    EXPECT_EQ(palette.colors().size(), 1u);
}

TEST_F(PaletteFile, EntriesThatCouldBlockAreNotOpened)
{
    const fs::path fifo = dir / "fifo.pal";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo.string(), std::string("/dev/zero")}) {
        PalF palette;
        int result = 0;
        const std::string err = stderrOf([&] { result = palette.load(path); });
        EXPECT_EQ(result, -1);
        EXPECT_EQ(err, "ERROR: Could not open palette file: " + path + "\n");
    }
}

TEST_F(PaletteFile, SaveWritesHeaderAndRecordsInRgbaOrder)
{
    PalF palette;
    palette.colorModel(0x12345);
    palette.colors({{1, 2, 3, 4}, {5, 6, 7, 8}});
    EXPECT_EQ(stderrOf([&] { palette.save(palPath().string()); }), "");
    EXPECT_EQ(readFile(palPath()), (Bytes{2, 0, 0x45, 0x23, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(PaletteFile, FreshPaletteSavesAnEmptyFileThatDoesNotLoad)
{
    PalF().save(palPath().string());
    EXPECT_EQ(readFile(palPath()), (Bytes{0, 0, 0, 0}));
    PalF again;
    EXPECT_EQ(stderrOf([&] { EXPECT_EQ(again.load(palPath().string()), -2); }),
              "ERROR: Invalid color count: 0\n");
}

TEST_F(PaletteFile, SwappedLoadSavesRgbaAndSwapsAgainOnReload)
{
    PalF palette;
    palette.colorModel(1);
    loadBytes(palette, paletteBytes({{10, 20, 30, 40}}, 1));
    const fs::path copy = dir / "copy.pal";
    palette.save(copy.string());
    const Bytes saved = readFile(copy);
    ASSERT_EQ(saved.size(), 4u + 256 * 4);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 8), (Bytes{0, 1, 1, 0, 30, 20, 10, 40}));

    PalF reread;
    reread.colorModel(1);
    reread.load(copy.string());
    EXPECT_EQ(reread.colors()[0], (PalF::Color{10, 20, 30, 40}));
}

TEST_F(PaletteFile, OversizedPaletteIsWrittenWholeButNotReadBack)
{
    PalF palette;
    palette.colors(std::vector<PalF::Color>(300, {1, 2, 3, 4}));
    palette.save(palPath().string());
    const Bytes saved = readFile(palPath());
    EXPECT_EQ(saved.size(), 4u + 300 * 4);
    EXPECT_EQ(saved[0] | saved[1] << 8, 300);
    PalF reread;
    EXPECT_EQ(stderrOf([&] { reread.load(palPath().string()); }), "ERROR: Invalid color count: 300\n");
}

TEST_F(PaletteFile, SaveReportsAFileThatCannotBeOpened)
{
    const std::string path = (dir / "missing-dir" / "a.pal").string();
    EXPECT_EQ(stderrOf([&] { PalF().save(path); }), "ERROR: Could not open palette file for writing: " + path + "\n");
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(PaletteFile, SaveReportsAFailedWrite)
{
    PalF palette;
    palette.colors(rampColors(256));
    EXPECT_EQ(stderrOf([&] { palette.save("/dev/full"); }), "ERROR: Could not write palette file: /dev/full\n");
}

TEST(PaletteColors, GetColorChecksBothBounds)
{
    PalF palette;
    palette.colors(rampColors(3));
    EXPECT_EQ(palette.getColor(2), rampColors(3)[2]);
    for (const int index : {-1, 3, 1000}) {
        std::string what;
        const std::string err = stderrOf([&] {
            try {
                palette.getColor(index);
            } catch (const std::out_of_range& e) {
                what = e.what();
            }
        });
        EXPECT_EQ(what, "Color index out of bounds");
        EXPECT_EQ(err, "ERROR: Color index out of bounds: " + std::to_string(index) + "\n");
    }
    EXPECT_THROW(stderrOf([] { PalF().getColor(0); }), std::out_of_range);
}

TEST(PaletteColors, SettersReplaceAndCopiesAreIndependent)
{
    PalF palette;
    palette.colors(rampColors(5));
    std::vector<PalF::Color> taken = palette.colors();
    taken[0] = {9, 9, 9, 9};
    EXPECT_EQ(palette.getColor(0), rampColors(5)[0]);
    palette.colors(palette.colors());
    EXPECT_EQ(palette.colors(), rampColors(5));
    palette.colors({palette.getColor(3), palette.getColor(3)});
    EXPECT_EQ(palette.colors(), (std::vector<PalF::Color>{rampColors(5)[3], rampColors(5)[3]}));

    palette.location("pal/x.pal");
    palette.locationSize(4294967295u);
    palette.colorModel(-7);
    EXPECT_EQ(palette.location(), "pal/x.pal");
    EXPECT_EQ(palette.locationSize(), 4294967295u);
    EXPECT_EQ(palette.colorModel(), -7);
}

}  // namespace
}  // namespace ravir::test
