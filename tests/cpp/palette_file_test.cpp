// PalF with files: what loads and saves report, refuse and write. The format
// itself is the codec's (palette_codec_test.cpp).

#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <stdexcept>

#include "common/file_io.h"
#include "palette/pal_codec.h"
#include "palette/pal_file.h"
#include "test_support.h"

namespace ravir::test {
namespace {

class PaletteFile : public TempDirTest {
protected:
    fs::path palPath() const { return dir / "a.pal"; }
};

// Standard error gets what the codec reports as errors, never its warnings.
TEST_F(PaletteFile, ErrorsGoToStandardErrorAndWarningsOnlyToACollectingSink)
{
    struct Case {
        Bytes bytes;
        int result;
        std::string err;
    };
    for (const Case& c : {Case{paletteBytes(rampColors(257), 257), -2, "ERROR: Invalid color count: 257\n"},
                          Case{{3}, 1, ""}, Case{paletteBytes(rampColors(3), 3), 1, ""}}) {
        writeFile(palPath(), c.bytes);
        PalF printing;
        int result = 0;
        EXPECT_EQ(stderrOf([&] { result = printing.load(palPath().string()); }), c.err);
        EXPECT_EQ(result, c.result);

        PalF collecting;
        ProblemList problems;
        EXPECT_EQ(collecting.load(palPath().string(), problems), c.result);
        std::vector<PalF::Color> colors;
        ProblemList decoded;
        decodePalette(c.bytes, 0, colors, decoded, "The palette file " + palPath().string());
        EXPECT_EQ(problems.problems, decoded.problems);
        EXPECT_EQ(collecting.colors(), printing.colors());
    }
}

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

TEST_F(PaletteFile, SaveWritesTheEncodedPalette)
{
    PalF palette;
    palette.colorModel(1);
    palette.colors(rampColors(3));
    EXPECT_EQ(stderrOf([&] { palette.save(palPath().string()); }), "");
    EXPECT_EQ(readFile(palPath()), encodePalette(rampColors(3), 1));
}

// Where there is no file an empty palette is written, though it does not load; an
// existing file is never blanked by one.
TEST_F(PaletteFile, EmptyPaletteIsWrittenOnlyWhereThereIsNoFile)
{
    PalF().save(palPath().string());
    EXPECT_EQ(readFile(palPath()), (Bytes{0, 0, 0, 0}));
    PalF again;
    EXPECT_EQ(stderrOf([&] { EXPECT_EQ(again.load(palPath().string()), -2); }), "ERROR: Invalid color count: 0\n");

    const Bytes kept = paletteBytes(rampColors(2), 2);
    writeFile(palPath(), kept);
    EXPECT_THROW(PalF().save(palPath().string()), std::invalid_argument);
    EXPECT_EQ(readFile(palPath()), kept);
}

TEST_F(PaletteFile, OversizedPaletteIsRefusedBeforeTheFileIsTouched)
{
    const Bytes kept = paletteBytes(rampColors(2), 2);
    writeFile(palPath(), kept);
    PalF palette;
    palette.colors(std::vector<PalF::Color>(300, {1, 2, 3, 4}));
    EXPECT_THROW(palette.save(palPath().string()), std::invalid_argument);
    EXPECT_EQ(readFile(palPath()), kept);
}

TEST_F(PaletteFile, SaveThatFailsIsReportedAndThrown)
{
    struct Case {
        std::string path;
        std::string line;
        FileError::Stage stage;
        int error;
    };
    const std::string missing = (dir / "missing-dir" / "a.pal").string();
    for (const Case& c : {Case{missing, "ERROR: Could not open palette file for writing: " + missing + "\n",
                               FileError::Stage::opening, ENOENT},
                          Case{"/dev/full", "ERROR: Could not write palette file: /dev/full\n",
                               FileError::Stage::writing, ENOSPC}}) {
        PalF palette;
        palette.colors(rampColors(256));
        std::optional<FileError> failure;
        const std::string err = stderrOf([&] {
            try {
                palette.save(c.path);
            } catch (const FileError& e) {
                failure = e;
            }
        });
        EXPECT_EQ(err, c.line);
        ASSERT_TRUE(failure) << c.path;
        EXPECT_EQ(failure->stage(), c.stage);
        EXPECT_EQ(failure->error(), c.error);
        EXPECT_EQ(failure->path(), c.path);
    }
    EXPECT_FALSE(fs::exists(missing));
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
