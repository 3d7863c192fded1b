#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The RGBA bytes of one rendered frame. They never change once rendered, so every
// copy of a frame shares them: handing frames on costs no pixel copy, and each
// holder still sees a value that nothing else can alter.
class PixelBytes {
public:
    PixelBytes() = default;
    explicit PixelBytes(std::vector<std::uint8_t> bytes)
        : bytes_(bytes.empty() ? nullptr : std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)))
    {
    }

    const std::uint8_t* data() const noexcept { return bytes_ ? bytes_->data() : nullptr; }
    std::size_t size() const noexcept { return bytes_ ? bytes_->size() : 0; }
    bool empty() const noexcept { return size() == 0; }
    std::span<const std::uint8_t> span() const noexcept { return {data(), size()}; }

private:
    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
};
