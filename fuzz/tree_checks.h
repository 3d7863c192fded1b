#pragma once

// Checks on animation trees shared by the animation fuzz targets.

#include <string>

#include "anim/orv_data.h"
#include "fuzz_support.h"

namespace ravir::fuzz {

// What every tree fresh from decoding must satisfy: the counts agree with the lists.
inline void requireReadInvariants(const OrvData& tree)
{
    require(tree.frames.size() == tree.info.frame_count, "frame list length differs from frame_count");
    require(!tree.has_background || !tree.frames.empty(), "background flag set without frames");
    for (const OrvFrame& frame : tree.frames) {
        require(frame.pixel_sets.size() == frame.height, "row count differs from height");
        require(frame.is_shadow <= 1, "is_shadow is neither 0 nor 1");
        for (const OrvPixelSet& row : frame.pixel_sets) {
            require(row.blocks.size() == row.block_count, "block list length differs from block_count");
            for (const OrvPixelBlock& block : row.blocks) {
                const std::size_t expected = frame.is_shadow ? 0 : block.color_count;
                require(block.colors.size() == expected, "color list length differs from the run's pixel count");
            }
        }
    }
}

// Where two trees first differ, or an empty string when they are equal.
inline std::string treeDifference(const OrvData& a, const OrvData& b)
{
    if (!(a.info == b.info) || a.has_background != b.has_background || a.frames.size() != b.frames.size()) {
        return "the header or the number of frames differs";
    }
    if (a.palette->location() != b.palette->location()) {
        return "the palette location differs";
    }
    for (std::size_t f = 0; f < a.frames.size(); ++f) {
        if (!(a.frames[f] == b.frames[f])) {
            return "frame " + std::to_string(f) + " differs";
        }
    }
    return {};
}

}  // namespace ravir::fuzz
