// Encoding animation trees into bytes: the layout written, and the trees refused
// because they would not read back as they are.

#include <stdexcept>

#include "anim/orv_codec.h"
#include "anim/orv_file.h"
#include "anim/orv_format.h"
#include "anim_samples.h"

namespace ravir::test {
namespace {

using samples::kSmall;

OrvData tree(std::vector<OrvFrame> frames, bool background = false, std::uint32_t speed = 100)
{
    OrvData data;
    data.info = {speed, static_cast<std::uint32_t>(frames.size())};
    data.frames = std::move(frames);
    data.has_background = background;
    return data;
}

// The frame as read back: the writer stores unk1 and unk2 as 0 and 1.
OrvFrame asWritten(OrvFrame f)
{
    f.unk1 = orv::kWrittenUnk1;
    f.unk2 = orv::kWrittenUnk2;
    return f;
}

OrvData decode(const Bytes& bytes)
{
    OrvData data;
    data.palette = std::make_shared<PalF>();
    ProblemList problems;
    decodeAnimation(bytes, data, problems);
    EXPECT_TRUE(problems.problems.empty());
    return data;
}

TEST(AnimationEncode, WritesHeaderLocationAndFramesWithUnknownBytesZeroAndOne)
{
    OrvFrame f = kSmall;
    f.frame_size = 1234;
    f.x_offset = -3;
    f.y_offset = 2;
    f.unk1 = 7;
    f.unk2 = 9;
    EXPECT_EQ(encodeAnimation(tree({f, f}), "pal/a.pal"),
              FileBytes().header(100, "pal/a.pal", 2).frame(asWritten(f)).frame(asWritten(f)).bytes);
}

TEST(AnimationEncode, EmptyTreeIsItsHeaderAlone)
{
    EXPECT_EQ(encodeAnimation(OrvData{}, "a.pal"), FileBytes().header(0, "a.pal", 0).bytes);
}

TEST(AnimationEncode, SpeedThatSpellsTheMagicGetsAHeaderWithFlagZero)
{
    const OrvData data = tree({kSmall}, false, orv::kMagicAsSpeed);
    const Bytes bytes = encodeAnimation(data, "a.pal");
    EXPECT_EQ(bytes, FileBytes().background(0).header(orv::kMagicAsSpeed, "a.pal", 1).frame(asWritten(kSmall)).bytes);
    const OrvData back = decode(bytes);
    EXPECT_EQ(back.info, data.info);
    EXPECT_FALSE(back.has_background);
}

TEST(AnimationEncode, BackgroundIsWrittenLastAndLeftOutOfTheCount)
{
    const OrvData data = tree({kSmall, samples::kBackground}, true, 5);
    const Bytes bytes = encodeAnimation(data, "pal/a.pal");
    EXPECT_EQ(bytes, FileBytes()
                         .background(1)
                         .header(5, "pal/a.pal", 1)
                         .frame(asWritten(kSmall))
                         .frame(asWritten(samples::kBackground))
                         .bytes);
    const OrvData back = decode(bytes);
    EXPECT_TRUE(back.has_background);
    EXPECT_EQ(back.info.frame_count, 2u);
}

// The tallest heights each frame's word can hold; a shadow frame's runs are
// written without their colors.
TEST(AnimationEncode, HeightsAtTheirLimitsAndShadowRunsReadBack)
{
    OrvFrame shadow = frame(2, std::vector<OrvPixelSet>(255, row({shadowBlock(0, 2)})), 1);
    shadow.pixel_sets[0].blocks[0].colors = {9, 9};
    const OrvData data = tree({frame(1, std::vector<OrvPixelSet>(32767)), shadow,
                               frame(1, std::vector<OrvPixelSet>(255, row({block(0, {4})})))});
    const Bytes bytes = encodeAnimation(data, "a.pal");
    FileBytes expected;
    expected.header(100, "a.pal", 3);
    for (const OrvFrame& f : data.frames) {
        expected.frame(asWritten(f));  // which leaves out shadow colors
    }
    EXPECT_EQ(bytes, expected.bytes);
    shadow.pixel_sets[0].blocks[0].colors.clear();
    const OrvData back = decode(bytes);
    EXPECT_EQ(back.frames[0].height, 32767);
    EXPECT_EQ(back.frames[1], asWritten(shadow));
    EXPECT_EQ(back.frames[2], asWritten(data.frames[2]));
}

TEST(AnimationEncode, RoundTripGivesTheSameTree)
{
    OrvFrame shifted = frame(5, {row({block(2, {1, 2, 3})}), row({}), row({block(0, {4}), block(3, {5})})});
    shifted.x_offset = -32768;
    shifted.y_offset = 32767;
    shifted.frame_size = 0xFFFFFFFF;
    const OrvData data = tree({shifted, frame(4, {row({shadowBlock(1, 3)})}, 1), frame(1, {row({block(0, {255})})}),
                               frame(0, {})},
                              true, 0xDEADBEEF);
    const OrvData back = decode(encodeAnimation(data, "pal/a.pal"));
    EXPECT_EQ(back.info, data.info);
    EXPECT_TRUE(back.has_background);
    EXPECT_EQ(back.palette->location(), "pal/a.pal");
    ASSERT_EQ(back.frames.size(), data.frames.size());
    for (std::size_t f = 0; f < data.frames.size(); ++f) {
        EXPECT_EQ(back.frames[f], asWritten(data.frames[f])) << "frame " << f;
    }
}

TEST(AnimationEncode, OnlyFramesWithinTheCountAreCheckedAndWritten)
{
    OrvFrame bad = frame(1, {row({block(0, {1})})});
    bad.pixel_sets[0].blocks[0].color_count = 5;
    OrvFrame shadow = bad;
    shadow.is_shadow = 1;  // shadow runs carry no colors to miss
    OrvData data = tree({shadow, bad});
    data.info.frame_count = 1;
    EXPECT_EQ(encodeAnimation(data, "a.pal"), FileBytes().header(100, "a.pal", 1).frame(asWritten(shadow)).bytes);
}

struct Refusal {
    const char* name;
    void (*spoil)(OrvData&);
    std::string message;
};

class RefusedTree : public testing::TestWithParam<Refusal> {};

TEST_P(RefusedTree, NamesTheFrameAndRow)
{
    OrvData data = tree({kSmall, frame(2, {row({}), row({block(0, {1}), block(1, {2, 3})})})});
    GetParam().spoil(data);
    for (const bool checkOnly : {true, false}) {
        try {
            checkOnly ? checkEncodable(data) : (void)encodeAnimation(data, "a.pal");
            ADD_FAILURE() << "no exception";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), GetParam().message);
        }
    }
}

void resizeRows(OrvFrame& f, std::size_t rows)
{
    f.pixel_sets.resize(rows);
    f.height = static_cast<std::uint16_t>(rows);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, RefusedTree,
    testing::Values(Refusal{"CountAboveFrames", [](OrvData& d) { d.info.frame_count = 3; },
                            "Cannot save: the frame count 3 exceeds the 2 frames held"},
                    Refusal{"BackgroundWithoutFrames",
                            [](OrvData& d) {
                                d.has_background = true;
                                d.info.frame_count = 0;
                            },
                            "Cannot save: the animation has a background but a frame count of 0"},
                    Refusal{"ColorsMissing", [](OrvData& d) { d.frames[1].pixel_sets[1].blocks[1].color_count = 3; },
                            "Cannot save: frame 1, row 1, run 1 has a color count of 3 but holds 2 colors"},
                    Refusal{"RunCountDisagrees", [](OrvData& d) { d.frames[1].pixel_sets[1].block_count = 1; },
                            "Cannot save: frame 1, row 1 has a run count of 1 but holds 2 runs"},
                    Refusal{"HeightDisagrees", [](OrvData& d) { d.frames[0].height = 2; },
                            "Cannot save: frame 0 has a height of 2 but holds 1 row"},
                    Refusal{"HeightAboveTheWord", [](OrvData& d) { resizeRows(d.frames[1], 32768); },
                            "Cannot save: frame 1 has 32768 rows, but a frame holds at most 32767"},
                    Refusal{"ShadowHeightAbove255",
                            [](OrvData& d) {
                                d.frames[1] = frame(1, {}, 1);
                                resizeRows(d.frames[1], 300);
                            },
                            "Cannot save: frame 1 has 300 rows, but a shadow frame holds at most 255"},
                    Refusal{"HeightAfterAShadowAbove255",
                            [](OrvData& d) {
                                d.frames[0].is_shadow = 1;
                                resizeRows(d.frames[1], 256);
                            },
                            "Cannot save: frame 1 has 256 rows, but a frame after a shadow frame holds at most 255"}),
    [](const auto& test) { return std::string(test.param.name); });

struct StoredPath {
    const char* name;
    std::string root;     // relative to the test directory
    std::string palette;  // relative to the test directory; empty for none at all
    std::string stored;
};

class StoredLocation : public TempDirTest, public testing::WithParamInterface<StoredPath> {};

TEST_P(StoredLocation, IsThePaletteRelativeToTheProjectRootInGenericForm)
{
    const StoredPath& c = GetParam();
    fs::create_directories(dir / "p" / "q");
    fs::create_directories(dir / "p" / "pal");
    const std::string palette = c.palette.empty() ? "" : (dir / c.palette).string();
    EXPECT_EQ(OrvF::storedLocation((dir / c.root).string(), palette), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Paths, StoredLocation,
                         testing::Values(StoredPath{"Below", "p", "p/pal/a.pal", "pal/a.pal"},
                                         StoredPath{"Same", "p", "p", "."},
                                         StoredPath{"Outside", "p/q", "p/r.pal", "../r.pal"},
                                         StoredPath{"DotsResolved", "p/q/..", "p/q/../pal/./a.pal", "pal/a.pal"},
                                         StoredPath{"RootMissing", "p/none", "p/pal/a.pal", "../pal/a.pal"},
                                         StoredPath{"Empty", "p", "", ""}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace ravir::test
