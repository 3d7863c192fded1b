#include <stdexcept>

#include "anim/orv_file.h"
#include "test_support.h"

namespace ravir::test {
namespace {

const OrvFrame kSmall = frame(3, {row({block(1, {5, 6})})});

class AnimationWriter : public TempDirTest {
protected:
    // An OrvF holding `frames` with a full palette, as a load would leave it.
    static void fill(OrvF& file, std::vector<OrvFrame> frames, bool background = false, std::uint32_t speed = 100)
    {
        OrvData& data = *file.data();
        data.info.speed = speed;
        data.info.frame_count = static_cast<std::uint32_t>(frames.size());
        data.frames = std::move(frames);
        data.has_background = background;
        data.palette->colors(rampColors(256));
    }

    std::string save(OrvF& file, const fs::path& out, const fs::path& root, const fs::path& palette)
    {
        return stderrOf([&] { file.save(out.string(), root.string(), palette.string()); });
    }

    // The bytes a saved file starts with: everything before the frame records.
    static Bytes head(bool background, std::uint32_t speed, std::string_view stored, std::uint32_t count)
    {
        FileBytes bytes;
        if (background) {
            bytes.background(1);
        }
        return bytes.header(speed, stored, count).bytes;
    }
};

TEST_F(AnimationWriter, WritesHeaderPathAndFrames)
{
    OrvF file;
    OrvFrame written = kSmall;
    written.frame_size = 1234;
    written.x_offset = -3;
    written.y_offset = 2;
    fill(file, {written});
    EXPECT_EQ(save(file, dir / "x.orv", dir, dir / "pal" / "a.pal"), "ERROR: Could not open palette file for writing: " +
                                                                          (dir / "pal" / "a.pal").string() + "\n");
    written.unk2 = 1;
    Bytes expected = head(false, 100, "pal/a.pal", 1);
    const Bytes record = FileBytes().frame(written).bytes;
    expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(readFile(dir / "x.orv"), expected);
}

TEST_F(AnimationWriter, SpeedThatSpellsTheMagicGetsAHeaderWithFlagZero)
{
    constexpr std::uint32_t kSpeed = 0x5A544146;  // the bytes "FATZ"
    OrvF file;
    fill(file, {kSmall}, false, kSpeed);
    save(file, dir / "x.orv", dir, dir / "a.pal");
    Bytes expected = FileBytes().background(0).bytes;
    const Bytes rest = head(false, kSpeed, "a.pal", 1);
    expected.insert(expected.end(), rest.begin(), rest.end());
    const Bytes written = readFile(dir / "x.orv");
    ASSERT_GE(written.size(), expected.size());
    EXPECT_EQ(Bytes(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);

    OrvF again;
    again.load((dir / "x.orv").string());
    EXPECT_EQ(again.data()->info, file.data()->info);
    EXPECT_FALSE(again.data()->has_background);
    EXPECT_EQ(again.data()->frames, file.data()->frames);
}

TEST_F(AnimationWriter, BackgroundIsWrittenLastAndLeftOutOfTheCount)
{
    OrvF file;
    const OrvFrame background = frame(2, {row({block(0, {7, 8})})});
    fill(file, {kSmall, background}, true, 5);
    fs::create_directories(dir / "pal");
    EXPECT_EQ(save(file, dir / "x.orv", dir, dir / "pal" / "a.pal"), "");
    const Bytes saved = readFile(dir / "x.orv");
    const Bytes expectedHead = head(true, 5, "pal/a.pal", 1);
    ASSERT_GE(saved.size(), expectedHead.size());
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(expectedHead.size())), expectedHead);

    OrvF reread;
    const auto data = reread.load((dir / "x.orv").string());
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->has_background);
    EXPECT_EQ(data->info.frame_count, 2u);
    EXPECT_EQ(data->frames[1].pixel_sets, background.pixel_sets);
    EXPECT_EQ(data->palette->colors(), rampColors(256));
}

struct StoredPath {
    const char* name;
    std::string root;     // relative to the test directory
    std::string palette;  // relative to the test directory; empty for none at all
    std::string stored;
};

class StoredPalettePath : public AnimationWriter, public testing::WithParamInterface<StoredPath> {};

TEST_P(StoredPalettePath, IsRelativeToTheProjectRootInGenericForm)
{
    const StoredPath& c = GetParam();
    fs::create_directories(dir / "p" / "q");
    fs::create_directories(dir / "p" / "pal");
    OrvF file;
    fill(file, {kSmall});
    const std::string palette = c.palette.empty() ? "" : (dir / c.palette).string();
    stderrOf([&] { file.save((dir / "x.orv").string(), (dir / c.root).string(), palette); });
    const Bytes saved = readFile(dir / "x.orv");
    const Bytes expected = head(false, 100, c.stored, 1);
    ASSERT_GE(saved.size(), expected.size());
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, StoredPalettePath,
                         testing::Values(StoredPath{"Below", "p", "p/pal/a.pal", "pal/a.pal"},
                                         StoredPath{"Same", "p", "p", "."},
                                         StoredPath{"Outside", "p/q", "p/r.pal", "../r.pal"},
                                         StoredPath{"DotsResolved", "p/q/..", "p/q/../pal/./a.pal", "pal/a.pal"},
                                         StoredPath{"RootMissing", "p/none", "p/pal/a.pal", "../pal/a.pal"},
                                         StoredPath{"Empty", "p", "", ""}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(AnimationWriter, EmptyPalettePathStillWritesTheAnimation)
{
    OrvF file;
    fill(file, {kSmall});
    EXPECT_EQ(save(file, dir / "x.orv", dir, ""), "ERROR: Could not open palette file for writing: \n");
    writeFile(dir / "b.pal", paletteBytes(rampColors(1), 1));
    OrvF reread;
    ASSERT_NE(reread.load((dir / "x.orv").string(), 0, (dir / "b.pal").string()), nullptr);
    EXPECT_EQ(reread.data()->palette->locationSize(), 1u);
    EXPECT_EQ(reread.data()->frames, file.data()->frames);
}

TEST_F(AnimationWriter, ShadowHeightsAreWrittenModulo256WithoutColors)
{
    OrvF file;
    OrvFrame shadow = frame(2, {row({shadowBlock(0, 2)})}, 1);
    shadow.pixel_sets[0].blocks[0].colors = {9, 9};  // never written for shadows
    shadow.height = 300;
    OrvFrame tall = frame(1, {});
    tall.height = 300;
    fill(file, {shadow, tall});
    save(file, dir / "x.orv", dir, dir / "a.pal");
    const Bytes saved = readFile(dir / "x.orv");
    const std::size_t first = head(false, 100, "a.pal", 2).size();
    EXPECT_EQ(saved[first + 4] | saved[first + 5] << 8, 0x802C);
    const std::size_t shadowRows = 1 + 2;  // block count, then offset and count only
    const std::size_t second = first + 14 + shadowRows;
    ASSERT_EQ(saved.size(), second + 14);
    EXPECT_EQ(saved[second + 4] | saved[second + 5] << 8, 300);
}

TEST_F(AnimationWriter, UnknownBytesBecomeZeroAndOneInFileAndTree)
{
    OrvF file;
    OrvFrame f = kSmall;
    f.unk1 = 7;
    f.unk2 = 9;
    fill(file, {f, f});
    save(file, dir / "x.orv", dir, dir / "a.pal");
    for (const OrvFrame& saved : file.data()->frames) {
        EXPECT_EQ(saved.unk1, 0);
        EXPECT_EQ(saved.unk2, 1);
    }
    OrvF reread;
    ASSERT_NE(reread.load((dir / "x.orv").string()), nullptr);
    EXPECT_EQ(reread.data()->frames, file.data()->frames);
}

TEST_F(AnimationWriter, StoredCountsAreWrittenAsHeldEvenWhenTheyDisagree)
{
    OrvF file;
    OrvFrame f = frame(9, {row({block(0, {1}), block(0, {2}), block(0, {3})})});
    f.pixel_sets[0].block_count = 2;
    fill(file, {f});
    save(file, dir / "x.orv", dir, dir / "a.pal");
    const Bytes saved = readFile(dir / "x.orv");
    const std::size_t rowStart = head(false, 100, "a.pal", 1).size() + 14;
    EXPECT_EQ(Bytes(saved.begin() + static_cast<std::ptrdiff_t>(rowStart), saved.end()),
              (Bytes{2, 0, 1, 1, 0, 1, 2, 0, 1, 3}));
}

TEST_F(AnimationWriter, RoundTripGivesTheSameTree)
{
    OrvF file;
    OrvFrame shifted = frame(5, {row({block(2, {1, 2, 3})}), row({}), row({block(0, {4}), block(3, {5})})});
    shifted.x_offset = -32768;
    shifted.y_offset = 32767;
    shifted.frame_size = 0xFFFFFFFF;
    fill(file, {shifted, frame(4, {row({shadowBlock(1, 3)})}, 1), frame(1, {row({block(0, {255})})}), frame(0, {})},
         true, 0xDEADBEEF);
    fs::create_directories(dir / "anim");
    fs::create_directories(dir / "pal");
    save(file, dir / "anim" / "x.orv", dir, dir / "pal" / "a.pal");
    OrvF reread;
    const auto data = reread.load((dir / "anim" / "x.orv").string());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->info, file.data()->info);
    EXPECT_TRUE(data->has_background);
    EXPECT_EQ(data->frames, file.data()->frames);
    EXPECT_EQ(data->palette->colors(), rampColors(256));
    EXPECT_EQ(data->palette->location(), "pal/a.pal");
}

TEST_F(AnimationWriter, FreshFileSavesAnEmptyAnimation)
{
    OrvF file;
    EXPECT_EQ(save(file, dir / "x.orv", dir, dir / "a.pal"), "");
    EXPECT_EQ(readFile(dir / "x.orv"), head(false, 0, "a.pal", 0));
    EXPECT_EQ(readFile(dir / "a.pal"), (Bytes{0, 0, 0, 0}));
}

struct Inconsistent {
    const char* name;
    void (*spoil)(OrvData&);
    std::string message;
};

class InconsistentTree : public AnimationWriter, public testing::WithParamInterface<Inconsistent> {};

TEST_P(InconsistentTree, IsRefusedBeforeAnyFileIsTouched)
{
    const Bytes old{1, 2, 3};
    writeFile(dir / "x.orv", old);
    OrvF file;
    fill(file, {kSmall, frame(2, {row({}), row({block(0, {1}), block(1, {2, 3})})})});
    GetParam().spoil(*file.data());
    try {
        file.save((dir / "x.orv").string(), dir.string(), (dir / "a.pal").string());
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
    EXPECT_EQ(readFile(dir / "x.orv"), old);
    EXPECT_FALSE(fs::exists(dir / "a.pal"));
}

INSTANTIATE_TEST_SUITE_P(
    Trees, InconsistentTree,
    testing::Values(Inconsistent{"CountAboveFrames", [](OrvData& d) { d.info.frame_count = 3; },
                                 "Cannot save: the frame count 3 exceeds the 2 frames held"},
                    Inconsistent{"ColorsMissing",
                                 [](OrvData& d) { d.frames[1].pixel_sets[1].blocks[1].color_count = 3; },
                                 "Cannot save: frame 1, row 1, run 1 has a color count of 3 but holds 2 colors"},
                    Inconsistent{"BackgroundWithoutFrames",
                                 [](OrvData& d) {
                                     d.has_background = true;
                                     d.info.frame_count = 0;
                                 },
                                 "Cannot save: the animation has a background but a frame count of 0"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(AnimationWriter, OnlyFramesWithinTheCountAreChecked)
{
    OrvF file;
    OrvFrame bad = frame(1, {row({block(0, {1})})});
    bad.pixel_sets[0].blocks[0].color_count = 5;
    OrvFrame shadow = bad;
    shadow.is_shadow = 1;  // shadow runs carry no colors to miss
    fill(file, {shadow, bad});
    file.data()->info.frame_count = 1;
    EXPECT_NO_THROW(save(file, dir / "x.orv", dir, dir / "a.pal"));
}

TEST_F(AnimationWriter, PathErrorsLeaveTheOldFileAsItWas)
{
    const Bytes old{1, 2, 3};
    writeFile(dir / "x.orv", old);
    OrvF file;
    fill(file, {kSmall});
    const std::string tooLong(300, 'n');
    EXPECT_THROW(file.save((dir / "x.orv").string(), (dir / tooLong).string(), (dir / "a.pal").string()),
                 fs::filesystem_error);
    EXPECT_EQ(readFile(dir / "x.orv"), old);
}

TEST_F(AnimationWriter, FileThatCannotBeOpenedIsReportedAndNothingWritten)
{
    OrvF file;
    fill(file, {kSmall});
    file.data()->frames[0].unk1 = 4;
    const fs::path out = dir / "none" / "x.orv";
    EXPECT_EQ(save(file, out, dir, dir / "a.pal"), "ERROR: Could not open animation file for writing: " + out.string() + "\n");
    EXPECT_FALSE(fs::exists(dir / "a.pal"));
    EXPECT_EQ(file.data()->frames[0].unk1, 4);
}

TEST_F(AnimationWriter, FailedWriteIsReportedAfterThePalette)
{
    OrvF file;
    fill(file, {kSmall});
    EXPECT_EQ(save(file, "/dev/full", dir, dir / "a.pal"), "ERROR: Could not write animation file: /dev/full\n");
    EXPECT_EQ(readFile(dir / "a.pal").size(), 4u + 256 * 4);
}

}  // namespace
}  // namespace ravir::test
