#pragma once

// Checks on animation trees shared by the animation fuzz targets.

#include <string>

#include "anim/orv_data.h"
#include "fuzz_support.h"

namespace ravir::fuzz {

// What every tree fresh from a read must satisfy: the counts agree with the lists.
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

// The first difference between two trees, or an empty string when they are equal.
inline std::string treeDifference(const OrvData& a, const OrvData& b)
{
    if (a.info.speed != b.info.speed || a.info.frame_count != b.info.frame_count) {
        return "info differs";
    }
    if (a.has_background != b.has_background) {
        return "has_background differs";
    }
    if (a.frames.size() != b.frames.size()) {
        return "frame list lengths differ";
    }
    for (std::size_t f = 0; f < a.frames.size(); ++f) {
        const OrvFrame& x = a.frames[f];
        const OrvFrame& y = b.frames[f];
        const std::string where = "frame " + std::to_string(f);
        if (x.frame_size != y.frame_size || x.height != y.height || x.is_shadow != y.is_shadow ||
            x.width != y.width || x.y_offset != y.y_offset || x.x_offset != y.x_offset || x.unk1 != y.unk1 ||
            x.unk2 != y.unk2 || x.pixel_sets.size() != y.pixel_sets.size()) {
            return where + ": header differs";
        }
        for (std::size_t r = 0; r < x.pixel_sets.size(); ++r) {
            const OrvPixelSet& p = x.pixel_sets[r];
            const OrvPixelSet& q = y.pixel_sets[r];
            if (p.block_count != q.block_count || p.blocks.size() != q.blocks.size()) {
                return where + ", row " + std::to_string(r) + ": block count differs";
            }
            for (std::size_t k = 0; k < p.blocks.size(); ++k) {
                const OrvPixelBlock& s = p.blocks[k];
                const OrvPixelBlock& t = q.blocks[k];
                if (s.offset != t.offset || s.color_count != t.color_count || s.colors != t.colors) {
                    return where + ", row " + std::to_string(r) + ", run " + std::to_string(k) + " differs";
                }
            }
        }
    }
    return {};
}

}  // namespace ravir::fuzz
