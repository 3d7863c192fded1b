#pragma once

#include <cstdint>
#include <memory>

namespace ravir {

// Zeroed memory for all images of one render, taken in one piece. Fresh memory
// costs a page fault per 4 KiB on first touch, which made thousands of faults the
// main cost of rendering a large animation: a large piece is mapped directly, so it
// comes zeroed from the kernel, and is asked for transparent huge pages.
std::shared_ptr<std::uint8_t[]> allocateZeroedImages(std::uint64_t size);

}  // namespace ravir
