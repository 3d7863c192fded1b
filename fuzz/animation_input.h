#pragma once

// Loading a fuzzed animation file, shared by the animation targets.

#include <stdexcept>
#include <vector>

#include "anim/orv_file.h"
#include "fuzz_support.h"

namespace ravir::fuzz {

// A palette of 256 distinct colors, written once. The animation is always loaded
// with it as the explicit palette: rendering then has colors to draw with, and the
// fuzzer never gets to probe the machine's file system with palette paths it made up.
inline const std::string& fixedPalette()
{
    static const std::string path = [] {
        std::vector<std::uint8_t> bytes{0, 1, 0, 0};  // 256 colors, model 0
        for (unsigned i = 0; i < 256; ++i) {
            bytes.insert(bytes.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                       static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i | 1)});
        }
        return scratch().write("fixed.pal", bytes);
    }();
    return path;
}

// Loads the input into `file`. False when the reader refused the file: a frame count
// larger than the file is the one refusal it is allowed, and it must throw that.
inline bool loadInput(OrvF& file, const std::uint8_t* data, std::size_t size)
{
    const std::string path = scratch().write("input.orv", {data, size});
    try {
        file.load(path, 0, fixedPalette());
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

}  // namespace ravir::fuzz
