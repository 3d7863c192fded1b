// The trees kept for the next loads into a new OrvF: one for each of a few threads,
// the last kept handed out first, and never more than their bounds.

#include <gtest/gtest.h>

#include "anim/spare_frames.h"

namespace ravir::test {
namespace {

SpareFrames::Frames tree(std::size_t frames, std::size_t fileBytes)
{
    SpareFrames::Frames spare;
    spare.frames.resize(frames);
    spare.fileBytes = fileBytes;
    return spare;
}

// The frame counts of the spares, as they are taken until none is left.
std::vector<std::size_t> takeAll()
{
    std::vector<std::size_t> taken;
    for (SpareFrames::Frames spare = SpareFrames::take(); !spare.frames.empty(); spare = SpareFrames::take()) {
        taken.push_back(spare.frames.size());
    }
    return taken;
}

TEST(SpareFrames, KeepsATreeForEachOfAFewLoadsWithinItsBounds)
{
    takeAll();
    for (std::size_t frames = 1; frames <= SpareFrames::kMaxSpares + 1; ++frames) {
        SpareFrames::keep(tree(frames, 1));
    }
    static_assert(SpareFrames::kMaxSpares == 4);
    EXPECT_EQ(takeAll(), (std::vector<std::size_t>{5, 4, 3, 2}));  // the oldest went

    SpareFrames::keep(tree(1, SpareFrames::kMaxFileBytes));
    SpareFrames::keep(tree(2, SpareFrames::kMaxFileBytes));
    SpareFrames::keep(tree(3, 1));  // past the bytes of all of them: the oldest goes
    EXPECT_EQ(takeAll(), (std::vector<std::size_t>{3, 2}));

    SpareFrames::keep(tree(1, SpareFrames::kMaxFileBytes + 1));  // from too large a file
    SpareFrames::keep(tree(0, 1));  // nothing to keep
    EXPECT_TRUE(takeAll().empty());
}

}  // namespace
}  // namespace ravir::test
