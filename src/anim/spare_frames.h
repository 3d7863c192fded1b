#pragma once

#include <cstddef>
#include <vector>

#include "anim/orv_data.h"

namespace ravir {

// The frames of the last animation file object destroyed, kept with all the storage
// of their rows and runs for the next load into an empty tree. A large animation
// holds hundreds of thousands of small vectors, and allocating them was most of the
// time of a load into a new OrvF: the next one decodes into these instead, and the
// destroyed one frees nothing. Thread-safe.
class SpareFrames {
public:
    // Frames decoded from files of at most this many bytes are kept; larger ones are
    // freed, so that the spare never holds much memory that nothing uses.
    static constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;

    struct Frames {
        std::vector<OrvFrame> frames;
        std::size_t fileBytes = 0;  // the largest file their storage was filled from
    };

    // Keeps `frames` in place of the spare frames held so far.
    static void keep(Frames frames);
    // The spare frames, or none; the spare is empty afterwards.
    static Frames take();
};

}  // namespace ravir
