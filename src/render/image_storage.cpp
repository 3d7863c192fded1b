#include "render/image_storage.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace ravir {

namespace {

constexpr std::uint64_t kHugePage = std::uint64_t{2} << 20;
// A mapping larger than this goes back to the system at once rather than being
// kept: the spare piece must not hold much memory that nothing uses.
constexpr std::uint64_t kMaxSpare = std::uint64_t{256} << 20;

std::uint64_t roundUp(std::uint64_t value, std::uint64_t step)
{
    return (value + step - 1) / step * step;
}

struct Mapping {
    void* base = nullptr;
    std::size_t size = 0;  // a whole number of huge pages, one more than the images need

    std::uint8_t* start() const
    {
        // The images start on a huge page boundary.
        return reinterpret_cast<std::uint8_t*>(roundUp(reinterpret_cast<std::uintptr_t>(base), kHugePage));
    }
};

// The last mapping a render gave back, if it was small enough to keep.
class SpareMapping {
public:
    // The spare mapping when it holds `size` bytes of images, else none.
    Mapping take(std::uint64_t size)
    {
        const std::lock_guard lock(mutex_);
        if (spare_.base == nullptr || spare_.size < roundUp(size, kHugePage) + kHugePage) {
            return {};
        }
        return std::exchange(spare_, {});
    }

    void giveBack(Mapping mapping)
    {
        if (mapping.size <= kMaxSpare) {
            const std::lock_guard lock(mutex_);
            std::swap(mapping, spare_);
        }
        if (mapping.base != nullptr) {
            ::munmap(mapping.base, mapping.size);
        }
    }

private:
    std::mutex mutex_;
    Mapping spare_;
};

// Never destroyed: images may be released while the program shuts down.
SpareMapping& spare()
{
    static SpareMapping* const instance = new SpareMapping;
    return *instance;
}

Mapping mapFresh(std::uint64_t size)
{
    Mapping mapping{nullptr, static_cast<std::size_t>(roundUp(size, kHugePage) + kHugePage)};
    mapping.base = ::mmap(nullptr, mapping.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping.base == MAP_FAILED) {
        throw std::bad_alloc();
    }
    // Only advice: where huge pages are off, the images get ordinary pages.
    ::madvise(mapping.start(), mapping.size - kHugePage, MADV_HUGEPAGE);
    return mapping;
}

}  // namespace

std::shared_ptr<std::uint8_t[]> allocateZeroedImages(std::uint64_t size)
{
    if (size < kHugePage) {
        // Too small for a huge page: the heap's recycled memory is cheaper than a mapping.
        // calloc zeroes in one go; make_shared of an array constructs and destroys every
        // byte on its own, which costs dearly under the sanitizers.
        auto* bytes = static_cast<std::uint8_t*>(std::calloc(std::max<std::uint64_t>(size, 1), 1));
        if (bytes == nullptr) {
            throw std::bad_alloc();
        }
        return {bytes, [](std::uint8_t* p) { std::free(p); }};
    }
    Mapping mapping = spare().take(size);
    if (mapping.base != nullptr) {
        std::memset(mapping.start(), 0, static_cast<std::size_t>(size));  // it holds the images of an earlier render
    } else {
        mapping = mapFresh(size);  // the kernel hands out fresh pages zeroed
    }
    return {mapping.start(), [mapping](std::uint8_t*) { spare().giveBack(mapping); }};
}

}  // namespace ravir
