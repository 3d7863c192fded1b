#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace ravir {

// The RGBA bytes of one rendered frame. They never change once rendered, so every
// copy of a frame shares them: handing frames on costs no pixel copy, and each
// holder still sees a value that nothing else can alter.
class PixelBytes {
public:
    PixelBytes() = default;
    // `size` bytes at `bytes`, whose owner (the storage of a whole render) stays
    // alive as long as any copy does.
    PixelBytes(std::shared_ptr<const std::uint8_t[]> bytes, std::size_t size) : bytes_(std::move(bytes)), size_(size) {}

    const std::uint8_t* data() const noexcept { return bytes_.get(); }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::span<const std::uint8_t> span() const noexcept { return {data(), size()}; }

private:
    std::shared_ptr<const std::uint8_t[]> bytes_;
    std::size_t size_ = 0;
};

}  // namespace ravir
