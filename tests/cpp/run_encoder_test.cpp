#include <stdexcept>

#include "anim/frame_indices.h"
#include "anim/orv_file.h"
#include "anim/run_encoder.h"
#include "test_support.h"

namespace ravir::test {
namespace {

// A one-row image from a pattern: '#' opaque, '.' a gap; pixel x holds index x % 256.
struct Pattern {
    std::vector<std::uint8_t> indices;
    std::vector<std::uint8_t> opaque;

    IndexedImage image(std::size_t height = 1) const { return {opaque.size() / height, height, indices, opaque}; }
};

Pattern pattern(const std::string& text)
{
    Pattern p;
    for (std::size_t x = 0; x < text.size(); ++x) {
        p.indices.push_back(static_cast<std::uint8_t>(x));
        p.opaque.push_back(text[x] == '#' ? 1 : 0);
    }
    return p;
}

std::string repeat(const std::string& unit, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += unit;
    }
    return text;
}

// What a run says: where it starts relative to the previous one, and how many pixels.
using Span = std::pair<int, int>;

struct RowCase {
    std::string name;
    std::string pattern;
    std::vector<Span> runs;
};

class EncodeRow : public testing::TestWithParam<RowCase> {};

TEST_P(EncodeRow, SplitsGapsAndRunsIntoBytes)
{
    const Pattern p = pattern(GetParam().pattern);
    for (const bool shadow : {false, true}) {
        const OrvFrame frame = encodeFrame(p.image(), shadow);
        ASSERT_EQ(frame.pixel_sets.size(), 1u);
        const OrvPixelSet& row = frame.pixel_sets[0];
        EXPECT_EQ(row.block_count, row.blocks.size());
        std::vector<Span> runs;
        std::size_t x = 0;
        for (const OrvPixelBlock& b : row.blocks) {
            runs.emplace_back(b.offset, b.color_count);
            x += b.offset;
            // Normal runs carry the indices of the pixels they cover, shadow runs none.
            const std::vector<std::uint8_t> expected =
                shadow ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>(p.indices.begin() + static_cast<std::ptrdiff_t>(x),
                                                                               p.indices.begin() + static_cast<std::ptrdiff_t>(x + b.color_count));
            EXPECT_EQ(b.colors, expected);
            x += b.color_count;
        }
        EXPECT_EQ(runs, GetParam().runs) << (shadow ? "shadow" : "normal");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EncodeRow,
    testing::Values(RowCase{"Empty", "", {}}, RowCase{"AllGap", ".....", {}}, RowCase{"OnePixel", "#", {{0, 1}}},
                    RowCase{"GapsBetweenRuns", ".##..#.", {{1, 2}, {2, 1}}},
                    RowCase{"GapOf255", repeat(".", 255) + "#", {{255, 1}}},
                    RowCase{"GapOf256", repeat(".", 256) + "#", {{255, 0}, {1, 1}}},
                    RowCase{"GapOf600", repeat(".", 600) + "#", {{255, 0}, {255, 0}, {90, 1}}},
                    RowCase{"RunOf255", repeat("#", 255), {{0, 255}}},
                    RowCase{"RunOf256", repeat("#", 256), {{0, 255}, {0, 1}}},
                    RowCase{"LongRunAfterGap", "..." + repeat("#", 600) + ".#", {{3, 255}, {0, 255}, {0, 90}, {1, 1}}}),
    [](const testing::TestParamInfo<RowCase>& param) { return param.param.name; });

TEST(EncodeFrame, RowsComeFromTheirOwnPixels)
{
    const Pattern p = pattern("#..#" ".##.");
    const OrvFrame frame = encodeFrame(p.image(2), false);
    EXPECT_EQ(frame.width, 4);
    EXPECT_EQ(frame.height, 2);
    ASSERT_EQ(frame.pixel_sets.size(), 2u);
    EXPECT_EQ(frame.pixel_sets[1].blocks.at(0).offset, 1);
    EXPECT_EQ(frame.pixel_sets[1].blocks.at(0).colors, (std::vector<std::uint8_t>{5, 6}));
}

TEST(EncodeFrame, RefusesWhatNoFrameCanHold)
{
    EXPECT_NO_THROW(encodeFrame(pattern(repeat("#.", 255)).image(), false));
    EXPECT_THROW(encodeFrame(pattern(repeat("#.", 256)).image(), false), std::invalid_argument);  // 256 runs
    Pattern p = pattern("###");
    EXPECT_THROW(encodeFrame({2, 1, p.indices, p.opaque}, false), std::invalid_argument);  // sizes disagree
    const std::vector<std::uint8_t> wide(65536, 0);
    EXPECT_THROW(encodeFrame({65536, 1, wide, wide}, false), std::invalid_argument);
    const std::vector<std::uint8_t> tall(32768, 0);
    EXPECT_THROW(encodeFrame({1, 32768, tall, tall}, false), std::invalid_argument);
}

TEST(AppendFrame, KeepsHeightsThatReadBack)
{
    const std::vector<std::uint8_t> column(300, 1);
    const auto frameOf = [&](std::size_t height, bool shadow) {
        return encodeFrame({1, height, std::span(column).first(height), std::span(column).first(height)}, shadow);
    };
    OrvData tree;
    appendFrame(tree, frameOf(300, false));  // before any shadow frame, 15 bits
    EXPECT_THROW(appendFrame(tree, frameOf(256, true)), std::invalid_argument);
    appendFrame(tree, frameOf(255, true));
    EXPECT_THROW(appendFrame(tree, frameOf(256, false)), std::invalid_argument);
    appendFrame(tree, frameOf(255, false));
    EXPECT_EQ(tree.info.frame_count, 3u);
    EXPECT_EQ(tree.frames.size(), 3u);
    // A caller that knows a shadow frame came before is held to the same heights.
    EXPECT_THROW(appendFrame(tree, frameOf(256, false), true), std::invalid_argument);
    appendFrame(tree, frameOf(300, false), false);
    EXPECT_EQ(tree.info.frame_count, 4u);
}

TEST(FrameIndices, GiveBackWhatWasEncoded)
{
    const Pattern p = pattern(".##." + repeat("#", 300) + "..#" + repeat(".", 270) + "#");
    for (const bool shadow : {false, true}) {
        const FrameIndices got = frameIndices(encodeFrame(p.image(), shadow));
        EXPECT_EQ(got.drawn, p.opaque);
        std::array<std::uint64_t, 256> counts{};
        for (std::size_t x = 0; x < p.opaque.size(); ++x) {
            const std::uint8_t want = p.opaque[x] && !shadow ? p.indices[x] : 0;
            ASSERT_EQ(got.indices[x], want) << "pixel " << x;
            counts[want] += p.opaque[x] && !shadow ? 1 : 0;
        }
        EXPECT_EQ(got.counts, counts);
    }
}

TEST(FrameIndices, CutRunsAtTheWidthAsTheRendererDoes)
{
    OrvFrame frame;
    frame.width = 4;
    frame.height = 1;
    frame.pixel_sets = {{2, {{1, 2, {7, 8}}, {0, 3, {9, 10, 11}}}}};
    const FrameIndices got = frameIndices(frame);
    EXPECT_EQ(got.indices, (std::vector<std::uint8_t>{0, 7, 8, 9}));
    EXPECT_EQ(got.drawn, (std::vector<std::uint8_t>{0, 1, 1, 1}));
    EXPECT_EQ(got.counts[9], 1u);
    EXPECT_EQ(got.counts[10], 0u);
}

class EncodedFile : public TempDirTest {};

TEST_F(EncodedFile, ReadsBackToTheSamePixels)
{
    writeFile(dir / "pal/a.pal", paletteBytes(rampColors(256), 256));
    const std::string text = repeat(".", 300) + repeat("#", 270) + "." + repeat("#", 3);
    const Pattern p = pattern(text + repeat(".", 10) + repeat("#", text.size() - 10));
    OrvF out;
    out.data()->palette->colors(rampColors(256));  // saving writes the palette as well
    for (const bool shadow : {false, true}) {
        appendFrame(*out.data(), encodeFrame(p.image(2), shadow));
    }
    fs::create_directories(dir / "anim");
    out.save((dir / "anim/x.orv").string(), dir.string(), (dir / "pal/a.pal").string());

    OrvF in;
    ASSERT_NE(in.load((dir / "anim/x.orv").string()), nullptr);
    const std::vector<OrvFrameBufferObject> frames = in.getFrameBuffer();
    ASSERT_EQ(frames.size(), 2u);
    for (std::size_t f = 0; f < 2; ++f) {
        ASSERT_EQ(frames[f].pixels.size(), p.opaque.size() * 4);
        for (std::size_t i = 0; i < p.opaque.size(); ++i) {
            const PalF::Color c = rampColors(256)[p.indices[i]];
            const std::array<std::uint8_t, 4> want = !p.opaque[i] ? std::array<std::uint8_t, 4>{0, 0, 0, 0}
                                                     : f == 1     ? std::array<std::uint8_t, 4>{0, 0, 0, 255}
                                                                  : std::array<std::uint8_t, 4>{c.r, c.g, c.b, c.a};
            const std::uint8_t* got = frames[f].pixels.data() + i * 4;
            ASSERT_EQ((std::array<std::uint8_t, 4>{got[0], got[1], got[2], got[3]}), want) << "frame " << f << " pixel " << i;
        }
    }
}

}  // namespace
}  // namespace ravir::test
