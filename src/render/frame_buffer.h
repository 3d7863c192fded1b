#pragma once

#include <cstdint>
#include <vector>

#include "anim/orv_data.h"
#include "common/problems.h"
#include "render/pixel_bytes.h"

// One rendered frame: width x height pixels of 4 bytes (r, g, b, a), rows top to
// bottom. Pixels no run paints are 0, 0, 0, 0. The offsets are passed on, never applied.
struct OrvFrameBufferObject {
    ravir::PixelBytes pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t offset_x = 0;
    std::int32_t offset_y = 0;
    std::int32_t channels = 4;
};

// Renders every frame of an animation once, on construction. Reads the tree only
// while constructing; later changes to it need a new renderer. Problems go to
// standard error, or to the sink given.
class OrvFrameBuffer {
public:
    // One render produces at most this many bytes of images in all, so that a tiny
    // crafted file cannot claim gigabytes; frames past it come out without pixels.
    static constexpr std::uint64_t kMaxRenderBytes = std::uint64_t{1} << 30;

    explicit OrvFrameBuffer(const OrvData& data, ravir::ProblemSink& problems = ravir::standardError(),
                            std::uint64_t maxRenderBytes = kMaxRenderBytes);

    // 0 when there are no frames, -1 without palette colors, 1 after rendering.
    // Appends to the buffer: the constructor calls it once.
    int createBuffer();
    std::vector<OrvFrameBufferObject>& getBuffer() { return buffer; }

    // Stores one pixel's channels (their low bytes) at `position`, unchecked: for
    // callers that build an image pixel by pixel. Rendering copies whole palette
    // entries instead.
    static void setRGBA(std::vector<unsigned char>& pixels, unsigned int position, int r, int g, int b, int a)
    {
        pixels[position] = static_cast<unsigned char>(r);
        pixels[position + 1] = static_cast<unsigned char>(g);
        pixels[position + 2] = static_cast<unsigned char>(b);
        pixels[position + 3] = static_cast<unsigned char>(a);
    }

private:
    const OrvData& data;
    std::vector<OrvFrameBufferObject> buffer;
    ravir::ProblemSink& problems;
    std::uint64_t maxRenderBytes;
};
