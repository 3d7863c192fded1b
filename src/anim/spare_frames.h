#pragma once

#include <cstddef>
#include <vector>

#include "anim/orv_data.h"

namespace ravir {

// The frames of the last animation file objects destroyed, kept with all the storage
// of their rows and runs for the next loads into an empty tree. A large animation
// holds hundreds of thousands of small vectors, and allocating them was most of the
// time of a load into a new OrvF: the next one decodes into these instead, and the
// destroyed one frees nothing. One is kept for each of a few threads loading at
// once, which would otherwise all but one allocate and free a whole tree, each
// load, in the allocator's contended arenas. Thread-safe.
class SpareFrames {
public:
    // Frames decoded from files of at most this many bytes are kept, and at most
    // kMaxSpares of them from files of kMaxTotalFileBytes in all; the rest are freed,
    // so that the spares never hold much memory that nothing uses.
    static constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;
    static constexpr std::size_t kMaxTotalFileBytes = std::size_t{32} << 20;
    static constexpr std::size_t kMaxSpares = 4;

    struct Frames {
        std::vector<OrvFrame> frames;
        std::size_t fileBytes = 0;  // the largest file their storage was filled from
    };

    // Keeps `frames` among the spares, in place of the oldest ones past the bounds.
    static void keep(Frames frames);
    // The spare kept last, or none; it is no spare afterwards.
    static Frames take();
};

}  // namespace ravir
