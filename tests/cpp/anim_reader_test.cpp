#include <stdexcept>

#include "anim/orv_file.h"
#include "test_support.h"

namespace ravir::test {
namespace {

// Switches the working directory for one test and back.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
    ~WorkingDirectory() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

const OrvFrame kSmall = frame(3, {row({block(1, {5, 6})})});

class AnimationReader : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        writeFile(dir / "pal" / "a.pal", paletteBytes(rampColors(256), 256));
    }

    fs::path writeAnimation(const Bytes& bytes, const std::string& name = "x.orv")
    {
        const fs::path path = dir / "anim" / name;
        writeFile(path, bytes);
        return path;
    }

    // Loads with the output on stderr captured into `err`.
    std::shared_ptr<OrvData> load(OrvF& file, const fs::path& path, const std::string& ioPal = "")
    {
        std::shared_ptr<OrvData> result;
        err = stderrOf([&] { result = file.load(path.string(), 0, ioPal); });
        return result;
    }

    std::string err;
};

class BackgroundFlag : public AnimationReader, public testing::WithParamInterface<int> {};

TEST_P(BackgroundFlag, AnyNonZeroFlagAddsTheBackgroundFrame)
{
    const int flag = GetParam();
    OrvFrame background = frame(2, {row({block(0, {9, 9})})});
    const fs::path path =
        writeAnimation(FileBytes().background(static_cast<std::uint8_t>(flag)).header(4, "pal/a.pal", 1).frame(kSmall).frame(background).bytes);
    OrvF file;
    const auto data = load(file, path);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->has_background, flag != 0);
    EXPECT_EQ(data->info.speed, 4u);
    EXPECT_EQ(data->info.frame_count, flag ? 2u : 1u);
    ASSERT_EQ(data->frames.size(), flag ? 2u : 1u);
    EXPECT_EQ(data->frames[0], kSmall);
    if (flag) {
        EXPECT_EQ(data->frames[1], background);
    }
    EXPECT_EQ(file.getFrameBuffer().size(), data->frames.size());
}

INSTANTIATE_TEST_SUITE_P(Flags, BackgroundFlag, testing::Values(0, 1, 7, 255));

TEST_F(AnimationReader, WithoutMagicTheBodyStartsAtOffsetZero)
{
    // "FATY" is not the magic: its bytes are the speed.
    Bytes bytes = FileBytes().text("FATY").u32(10).text("pal/a.pal").u8(0).u32(1).frame(kSmall).bytes;
    OrvF file;
    const auto data = load(file, writeAnimation(bytes));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->info.speed, 0x59544146u);
    EXPECT_FALSE(data->has_background);
    EXPECT_EQ(data->frames, std::vector<OrvFrame>{kSmall});
}

TEST_F(AnimationReader, SmallestCompleteFileHasNoFrames)
{
    const Bytes bytes = FileBytes().header(3, "", 0).bytes;
    ASSERT_EQ(bytes.size(), 13u);
    OrvF file;
    EXPECT_EQ(load(file, writeAnimation(bytes), (dir / "pal" / "a.pal").string()), nullptr);
    EXPECT_EQ(err, "");
    EXPECT_EQ(file.data()->info.speed, 3u);
    EXPECT_EQ(file.data()->palette->colors().size(), 256u);  // loaded, though nothing renders
    EXPECT_TRUE(file.data()->frames.empty());
}

TEST_F(AnimationReader, RowRecordsDecodeIntoRuns)
{
    // Width 3, height 1: one run of two pixels, one pixel in, indices 5 and 6.
    Bytes bytes = FileBytes().header(0, "pal/a.pal", 1).u32(77).u16(1).u16(3).i16(-4).i16(-5).u8(2).u8(3).bytes;
    bytes.insert(bytes.end(), {0x01, 0x01, 0x02, 0x05, 0x06});
    OrvF file;
    const auto data = load(file, writeAnimation(bytes));
    ASSERT_NE(data, nullptr);
    OrvFrame expected = kSmall;
    expected.frame_size = 77;
    expected.y_offset = -4;
    expected.x_offset = -5;
    expected.unk1 = 2;
    expected.unk2 = 3;
    EXPECT_EQ(data->frames[0], expected);
}

TEST_F(AnimationReader, LocationIsCutAtItsFirstNulButItsSizeKept)
{
    const fs::path path = writeAnimation(FileBytes().u32(0).u32(12).text("pal/a.pal").raw({0, 'z', 0}).u32(1).frame(kSmall).bytes);
    OrvF file;
    const auto data = load(file, path);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->palette->location(), "pal/a.pal");
    EXPECT_EQ(data->palette->locationSize(), 12u);
}

TEST_F(AnimationReader, ShadowFramesKeepOnlyTheLowByteOfLaterHeights)
{
    OrvFrame tall = frame(1, std::vector<OrvPixelSet>(291, row({})));
    OrvFrame shadow = frame(4, std::vector<OrvPixelSet>(5, row({shadowBlock(1, 2)})), 1);
    OrvFrame after = frame(1, std::vector<OrvPixelSet>(35, row({})));
    const fs::path path = writeAnimation(FileBytes()
                                             .header(0, "pal/a.pal", 3)
                                             .frame(tall, 0x0123)
                                             .frame(shadow, 0x8005)
                                             .frame(after, 0x0123)
                                             .bytes);
    OrvF file;
    const auto data = load(file, path);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->frames, (std::vector<OrvFrame>{tall, shadow, after}));
    EXPECT_TRUE(data->frames[1].pixel_sets[0].blocks[0].colors.empty());

    // A fresh start for the next file: its tall frame keeps all 16 bits again.
    const fs::path second = writeAnimation(FileBytes().header(0, "pal/a.pal", 1).frame(tall, 0x0123).bytes, "y.orv");
    ASSERT_NE(load(file, second), nullptr);
    EXPECT_EQ(file.data()->frames[0].height, 291);
}

TEST_F(AnimationReader, EmptyRowsAndFramesTakeNoRecords)
{
    const OrvFrame flat = frame(5, {});
    const OrvFrame gaps = frame(2, {row({}), row({block(0, {1})}), row({})});
    OrvF file;
    const auto data = load(file, writeAnimation(FileBytes().header(0, "pal/a.pal", 2).frame(flat).frame(gaps).bytes));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->frames, (std::vector<OrvFrame>{flat, gaps}));
}

TEST_F(AnimationReader, NoFramesRendersNothingButLoadsThePalette)
{
    OrvF file;
    EXPECT_EQ(load(file, writeAnimation(FileBytes().header(0, "pal/a.pal", 0).bytes)), nullptr);
    EXPECT_EQ(err, "");
    EXPECT_EQ(file.data()->palette->colors().size(), 256u);
}

TEST_F(AnimationReader, MissingFileChangesNothingButTheColorProfile)
{
    OrvF file;
    ASSERT_NE(load(file, writeAnimation(FileBytes().header(5, "pal/a.pal", 1).frame(kSmall).bytes)), nullptr);
    std::shared_ptr<OrvData> result;
    EXPECT_EQ(stderrOf([&] { result = file.load((dir / "none.orv").string(), 3, ""); }), "");
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(file.data()->frames, std::vector<OrvFrame>{kSmall});
    EXPECT_EQ(file.getFrameBuffer().size(), 1u);
}

TEST_F(AnimationReader, DirectoryReadsAsAnEmptyFile)
{
    fs::create_directories(dir / "anim" / "sub");
    OrvF file;
    EXPECT_EQ(load(file, dir / "anim" / "sub", (dir / "pal" / "a.pal").string()), nullptr);
    EXPECT_EQ(err, "");
    EXPECT_EQ(file.data()->info.frame_count, 0u);
    EXPECT_EQ(file.data()->palette->locationSize(), 0u);
}

TEST_F(AnimationReader, PaletteThatCannotBeFoundRendersNothing)
{
    OrvF file;
    const auto data = load(file, writeAnimation(FileBytes().header(0, "pal/none.pal", 1).frame(kSmall).bytes));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(err, "ERROR: Could not open palette file: \nERROR: No palette data available!\n");
    EXPECT_EQ(file.data()->frames, std::vector<OrvFrame>{kSmall});  // decoded all the same
}

TEST_F(AnimationReader, ReloadStartsCleanEvenWhenThePaletteIsMissing)
{
    OrvF file;
    const fs::path good = writeAnimation(FileBytes().background(1).header(0, "pal/a.pal", 1).frame(kSmall).frame(kSmall).bytes);
    ASSERT_NE(load(file, good), nullptr);
    const fs::path orphan = writeAnimation(FileBytes().header(0, "pal/none.pal", 1).frame(kSmall).bytes, "y.orv");
    EXPECT_EQ(load(file, orphan), nullptr);  // the first file's colors are not reused
    EXPECT_FALSE(file.data()->has_background);
    EXPECT_TRUE(file.data()->palette->colors().empty());
    EXPECT_TRUE(file.getFrameBuffer().empty());
}

TEST_F(AnimationReader, ReloadGivesTheTreeOfAFreshLoad)
{
    // The second file has fewer frames, rows, runs and indices than the first, a
    // shadow frame where the first has colors and colors where the first has shadow.
    const OrvFrame wide = frame(6, {row({block(0, {1, 2, 3}), block(1, {4, 5})}), row({block(2, {7})}), row({})});
    const OrvFrame shadow = frame(6, {row({shadowBlock(0, 3), shadowBlock(1, 2)}), row({shadowBlock(0, 1)})}, 1);
    const fs::path first =
        writeAnimation(FileBytes().header(1, "pal/a.pal", 4).frame(wide).frame(wide).frame(shadow).frame(wide).bytes);
    const fs::path second = writeAnimation(FileBytes()
                                               .header(2, "pal/a.pal", 3)
                                               .frame(frame(4, {row({shadowBlock(2, 1)})}, 1))
                                               .frame(frame(2, {row({block(0, {9})})}))
                                               .frame(frame(3, {row({block(1, {8, 8})}), row({})}))
                                               .bytes,
                                           "y.orv");
    OrvF reused;
    ASSERT_NE(load(reused, first), nullptr);
    ASSERT_NE(load(reused, second), nullptr);
    OrvF fresh;
    ASSERT_NE(load(fresh, second), nullptr);
    EXPECT_EQ(reused.data()->info, fresh.data()->info);
    EXPECT_EQ(reused.data()->frames, fresh.data()->frames);
    EXPECT_EQ(reused.data()->frames[2].pixel_sets[0].blocks[0].colors, (std::vector<std::uint8_t>{8, 8}));
}

TEST_F(AnimationReader, BareFileNameSearchesNowhere)
{
    writeAnimation(FileBytes().header(0, "pal/a.pal", 1).frame(kSmall).bytes);
    WorkingDirectory cwd(dir / "anim");
    OrvF file;
    EXPECT_EQ(load(file, "x.orv"), nullptr);
    EXPECT_EQ(err, "ERROR: Could not open palette file: \nERROR: No palette data available!\n");
}

TEST_F(AnimationReader, IoPalReplacesTheStoredLocation)
{
    writeFile(dir / "p" / "b.pal", paletteBytes({{1, 2, 3, 4}}, 1));
    const fs::path path = writeAnimation(FileBytes().header(0, "pal/a.pal", 1).frame(kSmall).bytes);
    WorkingDirectory cwd(dir);
    for (const std::string& ioPal : {std::string("p/b.pal"), (dir / "p" / "b.pal").string()}) {
        OrvF file;
        const auto data = load(file, path, ioPal);
        ASSERT_NE(data, nullptr) << ioPal;
        EXPECT_EQ(data->palette->location(), ioPal);
        EXPECT_EQ(data->palette->locationSize(), 10u);
        EXPECT_EQ(data->palette->getColor(0), (PalF::Color{1, 2, 3, 4}));
    }
}

TEST_F(AnimationReader, DestroyingTheFileEmptiesTheFramesItShared)
{
    std::shared_ptr<OrvData> kept;
    {
        OrvF file;
        kept = load(file, writeAnimation(FileBytes().header(9, "pal/a.pal", 1).frame(kSmall).bytes));
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(file.data(), kept);
    }
    EXPECT_TRUE(kept->frames.empty());
    EXPECT_EQ(kept->info.frame_count, 1u);
    EXPECT_EQ(kept->info.speed, 9u);
    EXPECT_EQ(kept->palette->colors().size(), 256u);
}

TEST(AnimationFile, StartsEmpty)
{
    OrvF file;
    ASSERT_NE(file.data(), nullptr);
    EXPECT_EQ(file.data(), file.data());
    EXPECT_EQ(file.data()->info.frame_count, 0u);
    EXPECT_FALSE(file.data()->has_background);
    ASSERT_NE(file.data()->palette, nullptr);
    EXPECT_TRUE(file.data()->palette->colors().empty());
    EXPECT_TRUE(file.getFrameBuffer().empty());
}

struct CountCase {
    const char* name;
    Bytes bytes;
    std::string message;
};

class RefusedFrameCount : public AnimationReader, public testing::WithParamInterface<CountCase> {};

TEST_P(RefusedFrameCount, ThrowsAndKeepsTheFrameList)
{
    OrvF file;
    ASSERT_NE(load(file, writeAnimation(FileBytes().header(0, "pal/a.pal", 1).frame(kSmall).bytes, "good.orv")), nullptr);
    const fs::path path = writeAnimation(GetParam().bytes);
    try {
        file.load(path.string());
        FAIL() << "no exception";
    } catch (const std::length_error& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
    EXPECT_EQ(file.data()->info.speed, 6u);  // read before the count
}

INSTANTIATE_TEST_SUITE_P(
    Counts, RefusedFrameCount,
    testing::Values(CountCase{"Huge", FileBytes().header(6, "", 0xFFFFFFFF).bytes,
                              "Frame count 4294967295 exceeds the size of the file"},
                    CountCase{"OneMoreThanBytes", FileBytes().header(6, "", 14).bytes,
                              "Frame count 14 exceeds the size of the file"},
                    // 22 bytes: the stored 22 fits, the background frame makes it 23.
                    CountCase{"WithBackground", FileBytes().background(1).header(6, "", 22).bytes,
                              "Frame count 23 exceeds the size of the file"}),
    [](const auto& test) { return std::string(test.param.name); });

// A file cut short reads exactly as if every missing byte were zero.
TEST_F(AnimationReader, TruncatedFilesReadAsIfPaddedWithZeros)
{
    const OrvFrame shadow = frame(3, {row({shadowBlock(0, 2)}), row({shadowBlock(1, 1)})}, 1);
    const Bytes full = FileBytes()
                           .background(1)
                           .header(0x01020304, "pal/a.pal", 2)
                           .frame(kSmall)
                           .frame(shadow)
                           .frame(frame(4, {row({block(0, {1, 2}), block(1, {3})}), row({})}))
                           .bytes;
    const std::string ioPal = (dir / "pal" / "a.pal").string();
    for (std::size_t size = 0; size <= full.size(); ++size) {
        SCOPED_TRACE("size " + std::to_string(size));
        Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        Bytes padded = cut;
        padded.resize(size + 4096, 0);
        OrvF fromCut;
        OrvF fromPadded;
        const fs::path cutPath = writeAnimation(cut, "cut.orv");
        const fs::path paddedPath = writeAnimation(padded, "padded.orv");
        const auto expected = load(fromPadded, paddedPath, ioPal);
        try {
            load(fromCut, cutPath, ioPal);
        } catch (const std::length_error&) {
            EXPECT_GT(fromCut.data()->info.frame_count, size);
            continue;
        }
        EXPECT_EQ(fromCut.data()->info, fromPadded.data()->info);
        EXPECT_EQ(fromCut.data()->has_background, fromPadded.data()->has_background);
        EXPECT_EQ(fromCut.data()->frames, fromPadded.data()->frames);
        EXPECT_EQ(fromCut.data()->palette->location(), fromPadded.data()->palette->location());
        EXPECT_EQ(fromCut.getFrameBuffer().size(), fromPadded.getFrameBuffer().size());
    }
}

TEST_F(AnimationReader, LocationSizeBeyondTheFileTakesWhatIsThere)
{
    const fs::path path = writeAnimation(FileBytes().u32(1).u32(0xFFFFFFF0).text("pal/a.pal").bytes);
    OrvF file;
    load(file, path, (dir / "pal" / "a.pal").string());
    EXPECT_EQ(file.data()->palette->locationSize(), 0xFFFFFFF0u);
    EXPECT_EQ(file.data()->info.frame_count, 0u);
    EXPECT_EQ(err, "");
}

class PaletteSearch : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        writeFile(dir / "game" / "pal" / "a.pal", paletteBytes({{1, 1, 1, 1}}, 1));
        fs::create_directories(dir / "game" / "units" / "tank");
    }
};

TEST_F(PaletteSearch, AbsolutePathsSearchUpToTheRoot)
{
    const fs::path found = dir / "game" / "pal" / "a.pal";
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "units" / "tank" / "t.orv", "pal/a.pal"), found);
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "units" / "tank" / "t.orv", "pal/../pal/a.pal"), found);
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "t.orv", found), found);
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "units" / "t.orv", "pal/none.pal"), fs::path());
}

TEST_F(PaletteSearch, RelativePathsStopAtTheirFirstComponent)
{
    WorkingDirectory cwd(dir / "game");
    const fs::path found = dir / "game" / "pal" / "a.pal";
    EXPECT_EQ(OrvF::resolvePalPath("units/tank/t.orv", "pal/a.pal"), fs::path());  // "." is not tried
    EXPECT_EQ(OrvF::resolvePalPath("./units/tank/t.orv", "pal/a.pal"), found);
    EXPECT_EQ(OrvF::resolvePalPath("./t.orv", "pal/a.pal"), found);
    EXPECT_EQ(OrvF::resolvePalPath("t.orv", "pal/a.pal"), fs::path());
}

TEST_F(PaletteSearch, EmptyLocationFindsTheAnimationsOwnDirectory)
{
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "units" / "t.orv", ""), dir / "game" / "units");
    writeFile(dir / "game" / "units" / "t.orv", FileBytes().header(0, "", 1).frame(kSmall).bytes);
    OrvF file;
    std::shared_ptr<OrvData> data;
    const std::string err = stderrOf([&] { data = file.load((dir / "game" / "units" / "t.orv").string()); });
    EXPECT_EQ(data, nullptr);
    EXPECT_TRUE(err.starts_with("ERROR: ")) << err;
    EXPECT_TRUE(err.ends_with("ERROR: No palette data available!\n")) << err;
}

TEST_F(PaletteSearch, FileSystemErrorsOtherThanAbsenceReachTheCaller)
{
    const std::string tooLong(300, 'n');
    writeFile(dir / "game" / "t.orv", FileBytes().header(0, tooLong, 1).frame(kSmall).bytes);
    OrvF file;
    EXPECT_THROW(file.load((dir / "game" / "t.orv").string()), fs::filesystem_error);
}

}  // namespace
}  // namespace ravir::test
