#include "render/frame_buffer.h"
#include "test_support.h"

namespace ravir::test {
namespace {

using Pixel = std::array<std::uint8_t, 4>;
constexpr Pixel kClear{0, 0, 0, 0};
constexpr Pixel kShadow{0, 0, 0, 255};

OrvData animation(std::vector<OrvFrame> frames, std::size_t paletteSize = 256)
{
    OrvData data;
    data.frames = std::move(frames);
    data.palette = std::make_shared<PalF>();
    data.palette->colors(rampColors(paletteSize));
    return data;
}

Pixel paletteEntry(std::uint8_t index)
{
    const PalF::Color c = rampColors(256)[index];
    return {c.r, c.g, c.b, c.a};
}

Pixel pixelAt(const OrvFrameBufferObject& image, int x, int y)
{
    const std::size_t p = (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) * 4;
    return {image.pixels.data()[p], image.pixels.data()[p + 1], image.pixels.data()[p + 2], image.pixels.data()[p + 3]};
}

// The pixels of row `y`, left to right.
std::vector<Pixel> rowOf(const OrvFrameBufferObject& image, int y)
{
    std::vector<Pixel> pixels;
    for (int x = 0; x < image.width; ++x) {
        pixels.push_back(pixelAt(image, x, y));
    }
    return pixels;
}

struct Rendered {
    std::vector<OrvFrameBufferObject> frames;
    std::string err;
};

Rendered render(const OrvData& data)
{
    Rendered out;
    out.err = stderrOf([&] { out.frames = OrvFrameBuffer(data).getBuffer(); });
    return out;
}

TEST(FrameBuffer, NoFramesRendersNothingSilentlyEvenWithoutPalette)
{
    OrvData data;
    const Rendered r = render(data);
    EXPECT_TRUE(r.frames.empty());
    EXPECT_EQ(r.err, "");
}

TEST(FrameBuffer, MissingOrEmptyPaletteStopsBeforeAnyFrame)
{
    OrvData noPalette;
    noPalette.frames = {frame(2, {row({block(0, {1})})})};
    OrvData emptyPalette = animation(noPalette.frames, 0);
    for (const OrvData* data : {&noPalette, &emptyPalette}) {
        OrvFrameBuffer renderer(*data);
        EXPECT_TRUE(renderer.getBuffer().empty());
        EXPECT_EQ(stderrOf([&] { EXPECT_EQ(renderer.createBuffer(), -1); }), "ERROR: No palette data available!\n");
    }
}

TEST(FrameBuffer, CreateBufferAppendsASecondSet)
{
    OrvData data = animation({frame(1, {row({block(0, {1})})})});
    OrvFrameBuffer renderer(data);
    EXPECT_EQ(renderer.createBuffer(), 1);
    ASSERT_EQ(renderer.getBuffer().size(), 2u);
    EXPECT_EQ(pixelAt(renderer.getBuffer()[1], 0, 0), paletteEntry(1));
}

TEST(FrameBuffer, RunsSkipTheirOffsetFromTheEndOfThePreviousRun)
{
    const Rendered r = render(animation({frame(10, {row({block(2, {5, 6, 7}), block(1, {9})})})}));
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.frames[0].pixels.size(), 40u);
    EXPECT_EQ(rowOf(r.frames[0], 0), (std::vector<Pixel>{kClear, kClear, paletteEntry(5), paletteEntry(6), paletteEntry(7),
                                                          kClear, paletteEntry(9), kClear, kClear, kClear}));
}

TEST(FrameBuffer, FrameFieldsArePassedThroughAndOffsetsNotApplied)
{
    OrvFrame shifted = frame(2, {row({block(1, {3})})});
    shifted.x_offset = -5;
    shifted.y_offset = 7;
    OrvFrame plain = shifted;
    plain.x_offset = plain.y_offset = 0;
    const Rendered r = render(animation({shifted, plain}));
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[0].offset_x, -5);
    EXPECT_EQ(r.frames[0].offset_y, 7);
    EXPECT_EQ(r.frames[0].width, 2);
    EXPECT_EQ(r.frames[0].height, 1);
    EXPECT_EQ(r.frames[0].channels, 4);
    EXPECT_TRUE(std::ranges::equal(r.frames[0].pixels.span(), r.frames[1].pixels.span()));
}

TEST(FrameBuffer, ColorIndexZeroIsAnOrdinaryEntryWithItsOwnAlpha)
{
    OrvData data = animation({frame(1, {row({block(0, {0})})})});
    data.palette->colors({{1, 2, 3, 0}, {4, 5, 6, 7}});
    EXPECT_EQ(pixelAt(render(data).frames[0], 0, 0), (Pixel{1, 2, 3, 0}));
}

struct ClipCase {
    const char* name;
    OrvFrame frame;
    std::vector<Pixel> row0;
    std::vector<Pixel> row1;
};

class Clipping : public testing::TestWithParam<ClipCase> {};

TEST_P(Clipping, ColumnsPastTheWidthAreDroppedNotWrapped)
{
    const ClipCase& c = GetParam();
    OrvFrame f = c.frame;
    f.pixel_sets.push_back(row({}));
    f.height = 2;
    const Rendered r = render(animation({f}));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(rowOf(r.frames[0], 0), c.row0);
    EXPECT_EQ(rowOf(r.frames[0], 1), c.row1);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Clipping,
    testing::Values(
        ClipCase{"LastColumn", frame(4, {row({block(3, {1, 2})})}), {kClear, kClear, kClear, paletteEntry(1)},
                 std::vector<Pixel>(4, kClear)},
        ClipCase{"ShadowRun", frame(3, {row({shadowBlock(1, 4)})}, 1), {kClear, kShadow, kShadow},
                 std::vector<Pixel>(3, kClear)},
        ClipCase{"OffsetPastWidth", frame(3, {row({block(200, {1}), block(255, {2})})}), std::vector<Pixel>(3, kClear),
                 std::vector<Pixel>(3, kClear)},
        ClipCase{"LaterRunsStillPlaced", frame(3, {row({block(2, {1, 2, 3}), block(0, {4})})}),
                 {kClear, kClear, paletteEntry(1)}, std::vector<Pixel>(3, kClear)}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(FrameBuffer, ColorsHeldDecideHowManyPixelsANormalRunPaints)
{
    OrvPixelBlock longer = block(0, {1, 2, 3});
    longer.color_count = 2;
    OrvPixelBlock empty = block(1, {7, 7});
    empty.color_count = 0;
    const Rendered r = render(animation({frame(6, {row({longer, empty, block(0, {4})})})}));
    EXPECT_EQ(rowOf(r.frames[0], 0), (std::vector<Pixel>{paletteEntry(1), paletteEntry(2), paletteEntry(3), kClear,
                                                          paletteEntry(4), kClear}));
}

TEST(FrameBuffer, ShadowRunsPaintOpaqueBlackWhateverTheirColors)
{
    OrvPixelBlock run = shadowBlock(1, 2);
    run.colors = {5, 6, 7};
    OrvPixelBlock none = shadowBlock(1, 0);
    const Rendered r = render(animation({frame(6, {row({run, none, shadowBlock(0, 1)})}, 1)}));
    EXPECT_EQ(rowOf(r.frames[0], 0), (std::vector<Pixel>{kClear, kShadow, kShadow, kClear, kShadow, kClear}));
}

TEST(FrameBuffer, OutOfRangeIndexEndsOnlyItsRun)
{
    const Rendered r = render(animation({frame(8, {row({block(0, {1, 200, 2}), block(1, {3})})})}, 16));
    EXPECT_EQ(r.err, "ERROR: Out-of-bounds color index! (200)\n");
    EXPECT_EQ(rowOf(r.frames[0], 0),
              (std::vector<Pixel>{paletteEntry(1), kClear, paletteEntry(3), kClear, kClear, kClear, kClear, kClear}));
}

TEST(FrameBuffer, OutOfRangeIndexStopsTheRunWhereverItFalls)
{
    for (std::uint8_t bad = 0; bad < 5; ++bad) {
        std::vector<std::uint8_t> indices{1, 2, 3, 4, 5};
        indices[bad] = 16;
        const Rendered r = render(animation({frame(6, {row({block(0, indices), block(0, {6})})})}, 16));
        EXPECT_EQ(r.err, "ERROR: Out-of-bounds color index! (16)\n");
        std::vector<Pixel> expected(6, kClear);
        for (std::uint8_t x = 0; x < bad; ++x) {
            expected[x] = paletteEntry(indices[x]);
        }
        expected[bad] = paletteEntry(6);  // the next run starts where this one stopped
        EXPECT_EQ(rowOf(r.frames[0], 0), expected) << "bad index at " << int{bad};
    }
}

TEST(FrameBuffer, OutOfRangeIndexPastTheWidthIsDroppedSilently)
{
    const Rendered r = render(animation({frame(1, {row({block(0, {1, 200})})})}, 16));
    EXPECT_EQ(r.err, "");
}

TEST(FrameBuffer, MissingRowsAreReportedAndLeftClear)
{
    OrvFrame f = frame(3, {});
    f.height = 2;
    const Rendered r = render(animation({f}));
    EXPECT_EQ(r.err, "ERROR: Row 0 exceeds OrvPixelSet count!\nERROR: Row 1 exceeds OrvPixelSet count!\n");
    ASSERT_EQ(r.frames[0].pixels.size(), 24u);
    EXPECT_TRUE(std::ranges::all_of(r.frames[0].pixels.span(), [](std::uint8_t b) { return b == 0; }));
}

TEST(FrameBuffer, RowsBeyondTheHeightAreNeverRead)
{
    OrvFrame f = frame(1, {row({block(0, {1})}), row({block(0, {2})})});
    f.height = 1;
    const Rendered r = render(animation({f}));
    EXPECT_EQ(r.frames[0].pixels.size(), 4u);
    EXPECT_EQ(pixelAt(r.frames[0], 0, 0), paletteEntry(1));
}

TEST(FrameBuffer, EmptyFramesStillGiveOneObjectEach)
{
    OrvFrame noWidth = frame(0, {row({block(0, {1})})});
    OrvFrame noHeight = frame(5, {});
    OrvFrame missingRows = frame(0, {});
    missingRows.height = 1;
    const Rendered r = render(animation({noWidth, noHeight, missingRows}));
    ASSERT_EQ(r.frames.size(), 3u);
    for (const auto& image : r.frames) {
        EXPECT_TRUE(image.pixels.empty());
    }
    EXPECT_EQ(r.frames[1].width, 5);
    EXPECT_EQ(r.err, "ERROR: Row 0 exceeds OrvPixelSet count!\n");
}

TEST(FrameBuffer, FramesPastTheRenderLimitComeOutWithoutPixels)
{
    // 16384 x 16384 x 4 bytes is exactly 1 GiB; after the small frame the total
    // would pass the limit, so the big frame is refused and the next one drawn.
    OrvFrame small = frame(1, {row({block(0, {1})})});
    OrvFrame big = frame(16384, {});
    big.height = 16384;
    big.x_offset = 3;
    const Rendered r = render(animation({small, big, small}));
    // Refused without walking its rows: no row messages.
    EXPECT_EQ(r.err, "ERROR: Frame 1 exceeds the render size limit!\n");
    ASSERT_EQ(r.frames.size(), 3u);
    EXPECT_EQ(r.frames[1].width, 16384);
    EXPECT_EQ(r.frames[1].height, 16384);
    EXPECT_EQ(r.frames[1].offset_x, 3);
    EXPECT_EQ(r.frames[1].channels, 4);
    EXPECT_TRUE(r.frames[1].pixels.empty());
    EXPECT_EQ(pixelAt(r.frames[2], 0, 0), paletteEntry(1));
}

TEST(FrameBuffer, RenderingTwiceGivesEqualImagesAndFollowsTheTree)
{
    OrvData data = animation({frame(4, {row({block(1, {1, 2})})})});
    const Rendered first = render(data);
    const Rendered second = render(data);
    EXPECT_TRUE(std::ranges::equal(first.frames[0].pixels.span(), second.frames[0].pixels.span()));
    data.frames[0].pixel_sets[0].blocks[0].offset = 0;
    EXPECT_EQ(pixelAt(render(data).frames[0], 0, 0), paletteEntry(1));
    EXPECT_EQ(pixelAt(first.frames[0], 0, 0), kClear);
}

TEST(FrameBuffer, LargeRendersGiveEveryFrameItsOwnImage)
{
    // 1 MiB per frame: three together take the storage of a large render, one alone
    // that of a small one, and both must come out the same.
    std::vector<OrvFrame> frames;
    for (std::uint8_t i = 0; i < 3; ++i) {
        const std::uint8_t fill = static_cast<std::uint8_t>(i + 3);
        frames.push_back(frame(512, std::vector<OrvPixelSet>(
                                        512, row({block(i, {i, 1, 2}), block(1, std::vector<std::uint8_t>(200, fill))}))));
    }
    OrvFrameBufferObject kept;
    {
        const Rendered together = render(animation(frames));
        ASSERT_EQ(together.frames.size(), 3u);
        for (std::uint8_t i = 0; i < 3; ++i) {
            const OrvFrameBufferObject& image = together.frames[i];
            ASSERT_EQ(image.pixels.size(), 512u * 512u * 4u);
            EXPECT_EQ(pixelAt(image, i, 511), paletteEntry(i));
            EXPECT_EQ(pixelAt(image, i + 4, 0), paletteEntry(static_cast<std::uint8_t>(i + 3)));
            EXPECT_EQ(pixelAt(image, 511, 511), kClear);
            EXPECT_TRUE(std::ranges::equal(image.pixels.span(), render(animation({frames[i]})).frames[0].pixels.span()));
        }
        kept = together.frames[2];
    }
    // A frame kept on its own keeps its pixels after the render and its other frames are gone.
    EXPECT_TRUE(std::ranges::equal(kept.pixels.span(), render(animation({frames[2]})).frames[0].pixels.span()));
}

TEST(FrameBuffer, LargeRenderAfterAnotherStartsClear)
{
    // Over 2 MiB each: the second render may be given the memory of the first,
    // which was painted all over, and must still leave its own gaps clear.
    const auto image = [](std::vector<std::uint8_t> run) {
        return frame(255, std::vector<OrvPixelSet>(2200, row({block(1, std::move(run))})));
    };
    render(animation({image(std::vector<std::uint8_t>(254, 7))}));
    const Rendered r = render(animation({image({9})}));
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(pixelAt(r.frames[0], 1, 2199), paletteEntry(9));
    EXPECT_EQ(std::ranges::count(r.frames[0].pixels.span(), std::uint8_t{0}), 255u * 2200u * 4u - 2200u * 4u);
}

TEST(FrameBuffer, SetRgbaStoresTheLowBytes)
{
    std::vector<unsigned char> pixels(8, 9);
    OrvFrameBuffer::setRGBA(pixels, 4, 1, 258, -1, 255);
    EXPECT_EQ(pixels, (std::vector<unsigned char>{9, 9, 9, 9, 1, 2, 255, 255}));
}

}  // namespace
}  // namespace ravir::test
