// Animations far larger than the small files of the other tests: several MiB, many
// times the pieces the writer writes and the memory a reader or renderer takes from
// the heap. Every byte must land where the layout puts it, and read back.

#include "anim/orv_file.h"
#include "test_support.h"

namespace ravir::test {
namespace {

constexpr std::uint16_t kWidth = 250;
constexpr std::uint16_t kRows = 150;
constexpr std::size_t kFrames = 64;

// Row y of frame f: two runs whose indices depend on both, so that a byte moved
// anywhere in the file changes the result.
OrvPixelSet patternRow(std::size_t f, std::size_t y, bool shadow)
{
    std::vector<std::uint8_t> first(200), second(30);
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<std::uint8_t>(f * 31 + y * 7 + i);
    }
    for (std::size_t i = 0; i < second.size(); ++i) {
        second[i] = static_cast<std::uint8_t>(f + y + i * 3);
    }
    if (shadow) {
        return row({shadowBlock(1, 200), shadowBlock(static_cast<std::uint8_t>(y % 5), 30)});
    }
    return row({block(1, first), block(static_cast<std::uint8_t>(y % 5), second)});
}

OrvData largeAnimation()
{
    OrvData data;
    data.info.speed = 70;
    for (std::size_t f = 0; f < kFrames; ++f) {
        const bool shadow = f == kFrames - 1;
        std::vector<OrvPixelSet> rows;
        for (std::size_t y = 0; y < kRows; ++y) {
            rows.push_back(patternRow(f, y, shadow));
        }
        OrvFrame image = frame(kWidth, std::move(rows), shadow ? 1 : 0);
        image.frame_size = static_cast<std::uint32_t>(1000 + f);
        image.x_offset = static_cast<std::int16_t>(-static_cast<int>(f));
        image.y_offset = static_cast<std::int16_t>(f * 2);
        image.unk2 = 1;
        data.frames.push_back(std::move(image));
    }
    data.info.frame_count = static_cast<std::uint32_t>(data.frames.size());
    return data;
}

class LargeAnimation : public TempDirTest {};

TEST_F(LargeAnimation, IsWrittenByteForByteAndReadsBackTheSame)
{
    OrvF writer;
    *writer.data() = largeAnimation();
    writer.data()->palette = std::make_shared<PalF>();
    writer.data()->palette->colors(rampColors(256));
    const fs::path file = dir / "anim" / "big.orv";
    fs::create_directories(file.parent_path());
    fs::create_directories(dir / "pal");
    writer.save(file.string(), dir.string(), (dir / "pal" / "big.pal").string());

    const OrvData& original = *writer.data();
    const Bytes bytes = readFile(file);
    ASSERT_GT(bytes.size(), std::size_t{2} << 20);
    FileBytes expected;
    expected.header(original.info.speed, "pal/big.pal", original.info.frame_count);
    for (const OrvFrame& f : original.frames) {
        expected.frame(f);
    }
    EXPECT_EQ(bytes, expected.bytes);

    OrvF reader;
    ASSERT_NE(reader.load(file.string()), nullptr);
    const OrvData& loaded = *reader.data();
    ASSERT_EQ(reader.getFrameBuffer().size(), kFrames);
    EXPECT_EQ(loaded.info, original.info);
    // Compared frame by frame, so that a failure names the frame.
    ASSERT_EQ(loaded.frames.size(), original.frames.size());
    for (std::size_t f = 0; f < original.frames.size(); ++f) {
        EXPECT_TRUE(loaded.frames[f] == original.frames[f]) << "frame " << f;
    }
}

}  // namespace
}  // namespace ravir::test
