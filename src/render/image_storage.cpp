#include "render/image_storage.h"

#include <sys/mman.h>

#include <new>

namespace ravir {

namespace {

constexpr std::uint64_t kHugePage = std::uint64_t{2} << 20;

std::uint64_t roundUp(std::uint64_t value, std::uint64_t step)
{
    return (value + step - 1) / step * step;
}

}  // namespace

std::shared_ptr<std::uint8_t[]> allocateZeroedImages(std::uint64_t size)
{
    if (size < kHugePage) {
        // Too small for a huge page: the heap's recycled memory is cheaper than a mapping.
        return std::make_shared<std::uint8_t[]>(static_cast<std::size_t>(size));
    }
    // One huge page more than needed, so that the images can start on a huge page.
    const std::size_t mapped = roundUp(size, kHugePage) + kHugePage;
    void* const base = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        throw std::bad_alloc();
    }
    auto* const start = reinterpret_cast<std::uint8_t*>(roundUp(reinterpret_cast<std::uintptr_t>(base), kHugePage));
    // Only advice: where huge pages are off, the images get ordinary pages.
    ::madvise(start, roundUp(size, kHugePage), MADV_HUGEPAGE);
    return {start, [base, mapped](std::uint8_t*) { ::munmap(base, mapped); }};
}

}  // namespace ravir
