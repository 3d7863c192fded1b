#include "anim/orv_data.h"
#include "test_support.h"

namespace ravir::test {
namespace {

TEST(AnimationTree, DefaultsAreEmpty)
{
    const OrvData data;
    EXPECT_EQ(data.info.speed, 0u);
    EXPECT_EQ(data.info.frame_count, 0u);
    EXPECT_TRUE(data.frames.empty());
    EXPECT_FALSE(data.has_background);
    EXPECT_EQ(data.palette, nullptr);
}

TEST(AnimationTree, CopiesAreDeep)
{
    OrvData data;
    data.frames = {frame(3, {row({block(1, {5, 6})})})};
    OrvData copy = data;
    copy.frames[0].pixel_sets[0].blocks[0].colors[0] = 9;
    copy.frames[0].pixel_sets[0].blocks.push_back(block(0, {}));
    EXPECT_EQ(data.frames[0].pixel_sets[0].blocks[0].colors[0], 5);
    EXPECT_EQ(data.frames[0].pixel_sets[0].blocks.size(), 1u);
}

}  // namespace
}  // namespace ravir::test
