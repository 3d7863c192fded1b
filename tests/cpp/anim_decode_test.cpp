// Decoding animation files from memory: what each record becomes in the tree.

#include <stdexcept>
#include <tuple>

#include "anim/orv_codec.h"
#include "anim_samples.h"

namespace ravir::test {
namespace {

using namespace samples;

struct Decoded {
    OrvData tree;
    ProblemList problems;
    bool shadow = false;
};

void decodeInto(Decoded& out, const Bytes& bytes)
{
    out.problems.problems.clear();
    out.shadow = decodeAnimation(bytes, out.tree, out.problems);
}

Decoded decode(const Bytes& bytes)
{
    Decoded out;
    out.tree.palette = std::make_shared<PalF>();
    decodeInto(out, bytes);
    return out;
}

class BackgroundFlag : public testing::TestWithParam<int> {};

TEST_P(BackgroundFlag, AnyNonZeroFlagAddsTheBackgroundFrame)
{
    const int flag = GetParam();
    const Decoded d = decode(withBackgroundFlag(static_cast<std::uint8_t>(flag)));
    EXPECT_EQ(d.tree.has_background, flag != 0);
    EXPECT_EQ(d.tree.info.speed, 4u);
    EXPECT_EQ(d.tree.info.frame_count, flag ? 2u : 1u);
    EXPECT_EQ(d.tree.frames, flag ? (std::vector<OrvFrame>{kSmall, kBackground}) : std::vector<OrvFrame>{kSmall});
    EXPECT_TRUE(d.problems.problems.empty());  // without background the last frame is bytes never read
}

INSTANTIATE_TEST_SUITE_P(Flags, BackgroundFlag, testing::Values(0, 1, 7, 255));

TEST(AnimationDecode, WithoutMagicTheBodyStartsAtOffsetZero)
{
    const Decoded d = decode(withoutMagic());
    EXPECT_EQ(d.tree.info.speed, 0x59544146u);
    EXPECT_FALSE(d.tree.has_background);
    EXPECT_EQ(d.tree.palette->location(), "pal/a.pal");
    EXPECT_EQ(d.tree.frames, std::vector<OrvFrame>{kSmall});
}

TEST(AnimationDecode, SmallestCompleteFileHasNoFrames)
{
    ASSERT_EQ(smallest().size(), 13u);
    const Decoded d = decode(smallest());
    EXPECT_EQ(d.tree.info, (OrvInfo{3, 0}));
    EXPECT_TRUE(d.tree.frames.empty());
    EXPECT_EQ(d.tree.palette->location(), "");
    EXPECT_EQ(d.tree.palette->locationSize(), 1u);
    EXPECT_TRUE(d.problems.problems.empty());
    EXPECT_FALSE(d.shadow);
}

TEST(AnimationDecode, RowRecordsDecodeIntoRuns)
{
    OrvFrame expected = kSmall;
    expected.frame_size = 77;
    expected.y_offset = -4;
    expected.x_offset = -5;
    expected.unk1 = 2;
    expected.unk2 = 3;
    EXPECT_EQ(decode(oneRunRecord()).tree.frames, std::vector<OrvFrame>{expected});
}

TEST(AnimationDecode, LocationIsCutAtItsFirstNulButItsSizeKept)
{
    const Decoded d = decode(locationWithNul());
    EXPECT_EQ(d.tree.palette->location(), "pal/a.pal");
    EXPECT_EQ(d.tree.palette->locationSize(), 12u);
    EXPECT_EQ(d.tree.frames, std::vector<OrvFrame>{kSmall});
}

TEST(AnimationDecode, ShadowFramesKeepOnlyTheLowByteOfLaterHeights)
{
    Decoded d = decode(shadowHeights());
    EXPECT_TRUE(d.shadow);
    EXPECT_EQ(d.tree.frames, (std::vector<OrvFrame>{kTall, kShadow, kAfterShadow}));
    EXPECT_TRUE(d.tree.frames[1].pixel_sets[0].blocks[0].colors.empty());

    // A fresh start for the next file: its tall frame keeps all 16 bits again.
    decodeInto(d, tallOnly());
    EXPECT_FALSE(d.shadow);
    EXPECT_EQ(d.tree.frames, std::vector<OrvFrame>{kTall});
}

TEST(AnimationDecode, EmptyRowsAndFramesTakeNoRecords)
{
    EXPECT_EQ(decode(emptyRowsAndFrames()).tree.frames, (std::vector<OrvFrame>{kFlat, kGaps}));
}

TEST(AnimationDecode, DecodingIntoAUsedTreeGivesTheTreeOfAFreshOne)
{
    Decoded reused = decode(manyFrames());
    decodeInto(reused, fewerFrames());
    const Decoded fresh = decode(fewerFrames());
    EXPECT_EQ(reused.tree.info, fresh.tree.info);
    EXPECT_EQ(reused.tree.frames, fresh.tree.frames);
    EXPECT_EQ(reused.tree.frames[2].pixel_sets[0].blocks[0].colors, (std::vector<std::uint8_t>{8, 8}));
}

TEST(AnimationDecode, LocationSizeBeyondTheFileTakesWhatIsThere)
{
    const Decoded d = decode(locationBeyondTheFile());
    EXPECT_EQ(d.tree.palette->location(), "pal/a.pal");
    EXPECT_EQ(d.tree.palette->locationSize(), 0xFFFFFFF0u);
    EXPECT_EQ(d.tree.info.frame_count, 0u);
    ASSERT_EQ(d.problems.problems.size(), 1u);
    EXPECT_EQ(d.problems.problems[0].message,
              "The file ends after 17 bytes, in its header (the palette location); what is missing reads as zeros");
}

// Stepping over the rows finds every frame's header as decoding reads it; the frames
// it does not list (their records start past the end) decode without pixels, at 0, 0.
TEST(AnimationDecode, FrameHeadersAreTheDecodedFramesHeaders)
{
    for (const auto& [name, bytes] : all()) {
        SCOPED_TRACE(name);
        Decoded d;
        d.tree.palette = std::make_shared<PalF>();
        try {
            decodeInto(d, bytes);
        } catch (const std::length_error&) {
            EXPECT_THROW(frameHeaders(bytes), std::length_error);
            continue;
        }
        const std::vector<FrameHeader> headers = frameHeaders(bytes);
        ASSERT_LE(headers.size(), d.tree.frames.size());
        for (std::size_t f = 0; f < d.tree.frames.size(); ++f) {
            const OrvFrame& frame = d.tree.frames[f];
            const FrameHeader read = f < headers.size() ? headers[f] : FrameHeader{};
            EXPECT_EQ(std::tuple(read.frame_size, read.shadow, read.height, read.width, read.y_offset, read.x_offset),
                      std::tuple(frame.frame_size, frame.is_shadow != 0, frame.height, frame.width, frame.y_offset,
                                 frame.x_offset))
                << "frame " << f;
        }
    }
}

class RefusedFrameCount : public testing::TestWithParam<RefusedCount> {};

TEST_P(RefusedFrameCount, ThrowsBeforeTheFrameListIsTouched)
{
    Decoded d = decode(FileBytes().header(0, "pal/a.pal", 1).frame(kSmall).bytes);
    try {
        decodeInto(d, GetParam().bytes);
        FAIL() << "no exception";
    } catch (const std::length_error& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
    EXPECT_EQ(d.tree.info.speed, 6u);  // read before the count
    EXPECT_EQ(d.tree.frames, std::vector<OrvFrame>{kSmall});
}

INSTANTIATE_TEST_SUITE_P(Counts, RefusedFrameCount, testing::ValuesIn(refusedCounts()),
                         [](const auto& test) { return std::string(test.param.name); });

// A file cut short reads exactly as if every missing byte were zero, and says so
// once; a complete file or one followed by zeros says nothing.
TEST(AnimationDecode, TruncatedFilesReadAsIfPaddedWithZeros)
{
    const Bytes whole = mixed();
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        SCOPED_TRACE("size " + std::to_string(size));
        Bytes padded = cut(whole, size);
        padded.resize(size + 4096, 0);
        const Decoded expected = decode(padded);
        EXPECT_TRUE(expected.problems.problems.empty());
        Decoded got;
        got.tree.palette = std::make_shared<PalF>();
        try {
            decodeInto(got, cut(whole, size));
        } catch (const std::length_error&) {
            EXPECT_GT(expected.tree.info.frame_count, size);
            continue;
        }
        EXPECT_EQ(got.tree.info, expected.tree.info);
        EXPECT_EQ(got.tree.has_background, expected.tree.has_background);
        EXPECT_EQ(got.tree.frames, expected.tree.frames);
        EXPECT_EQ(got.tree.palette->location(), expected.tree.palette->location());
        EXPECT_EQ(got.problems.problems.size(), size < whole.size() ? 1u : 0u);
        for (const Problem& problem : got.problems.problems) {
            EXPECT_EQ(problem.kind, Problem::Kind::warning);
        }
    }
}

struct Truncation {
    std::size_t size;
    std::string place;
    std::optional<std::uint32_t> frame;
};

class TruncationWarning : public testing::TestWithParam<Truncation> {};

TEST_P(TruncationWarning, NamesTheFrameAndFieldWhereTheFileEnds)
{
    const Truncation& t = GetParam();
    const Decoded d = decode(cut(mixed(), t.size));
    // The record names the field on its own too: what the parentheses hold.
    const std::string field = t.place.substr(t.place.find('(') + 1, t.place.size() - t.place.find('(') - 2);
    const Problem expected{Problem::Kind::warning,
                           "The file ends after " + std::to_string(t.size) + " bytes, in " + t.place +
                               "; what is missing reads as zeros",
                           t.frame, field};
    EXPECT_EQ(d.problems.problems, std::vector<Problem>{expected});
}

// Offsets in `mixed`: background header 0-8, speed 9, location size 13, location
// 17-26, frame count 27; frame 0 at 31 (its row at 45), frame 1 (shadow) at 50
// (rows at 64 and 67), frame 2 at 70 (rows at 84 and 92).
INSTANTIATE_TEST_SUITE_P(
    Places, TruncationWarning,
    testing::Values(Truncation{2, "its header (the speed)", {}},
                    Truncation{6, "its header (the background flag)", {}},
                    Truncation{20, "its header (the palette location)", {}},
                    Truncation{29, "its header (the frame count)", {}},
                    Truncation{33, "frame 0 (its size)", 0},
                    Truncation{47, "frame 0 (row 0, run 0: its offset and length)", 0},
                    Truncation{49, "frame 0 (row 0, run 0: its palette indices)", 0},
                    Truncation{62, "frame 1 (its unk1 and unk2)", 1},
                    Truncation{68, "frame 1 (row 1, run 0: its offset and length)", 1},
                    Truncation{84, "frame 2 (row 0: its run count)", 2},
                    Truncation{92, "frame 2 (row 1: its run count)", 2}),
    [](const auto& test) { return "CutAt" + std::to_string(test.param.size); });

}  // namespace
}  // namespace ravir::test
