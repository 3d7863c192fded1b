#include "render/image_storage.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace ravir {

namespace {

constexpr std::uint64_t kHugePage = std::uint64_t{2} << 20;
// The spare mappings hold at most this much in all, and mappings larger than it go
// back to the system at once: the spares must not hold much memory that nothing uses.
constexpr std::uint64_t kMaxSpare = std::uint64_t{256} << 20;
// One spare for each of a few threads rendering at once.
constexpr std::size_t kMaxSpares = 4;

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

// The last mappings renders gave back, if they were small enough to keep.
class SpareMappings {
public:
    // The smallest spare mapping that holds `size` bytes of images, else none.
    Mapping take(std::uint64_t size)
    {
        const std::lock_guard lock(mutex_);
        const std::uint64_t needed = roundUp(size, kHugePage) + kHugePage;
        std::size_t best = held_;
        for (std::size_t i = 0; i < held_; ++i) {
            if (spares_[i].size >= needed && (best == held_ || spares_[i].size < spares_[best].size)) {
                best = i;
            }
        }
        return best == held_ ? Mapping{} : removeAt(best);
    }

    // Allocates nothing: it runs when the last image of a render is released.
    void giveBack(Mapping mapping)
    {
        std::array<Mapping, kMaxSpares + 1> surplus{};
        std::size_t count = 0;
        if (mapping.size > kMaxSpare) {
            surplus[count++] = mapping;
        } else {
            const std::lock_guard lock(mutex_);
            spares_[held_++] = mapping;
            // The oldest go first.
            while (held_ > kMaxSpares || bytes() > kMaxSpare) {
                surplus[count++] = removeAt(0);
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            ::munmap(surplus[i].base, surplus[i].size);
        }
    }

private:
    Mapping removeAt(std::size_t index)
    {
        const Mapping removed = spares_[index];
        std::copy(spares_.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                  spares_.begin() + static_cast<std::ptrdiff_t>(held_), spares_.begin() + static_cast<std::ptrdiff_t>(index));
        --held_;
        return removed;
    }

    std::uint64_t bytes() const
    {
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < held_; ++i) {
            total += spares_[i].size;
        }
        return total;
    }

    std::mutex mutex_;
    std::array<Mapping, kMaxSpares + 1> spares_{};  // the first `held_`, oldest first
    std::size_t held_ = 0;
};

// Never destroyed: images may be released while the program shuts down.
SpareMappings& spare()
{
    static auto* const instance = new SpareMappings;
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
