#pragma once

#include <cstdint>
#include <memory>

namespace ravir {

// Zeroed memory for all images of one render, taken in one piece. Fresh memory
// costs a page fault per 4 KiB on first touch, which made thousands of faults the
// main cost of rendering a large animation: a large piece is mapped directly and
// asked for transparent huge pages, and the last few given back are kept for the
// next renders (one for each of a few threads), which then need neither faults nor
// the kernel's zeroing.
std::shared_ptr<std::uint8_t[]> allocateZeroedImages(std::uint64_t size);

}  // namespace ravir
