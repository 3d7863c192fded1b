// Animation files: whatever the bytes, a load either refuses the frame count or
// gives a tree whose counts agree with its lists, and renders one image per frame
// within the render size limit.

#include "animation_input.h"
#include "tree_checks.h"

using ravir::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrvF file;
    if (!ravir::fuzz::loadInput(file, data, size)) {
        return 0;
    }
    const OrvData& tree = *file.data();
    ravir::fuzz::requireReadInvariants(tree);

    const std::vector<OrvFrameBufferObject> images = file.getFrameBuffer();
    require(images.size() == tree.frames.size(), "not one image per frame");
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const OrvFrameBufferObject& image = images[i];
        const OrvFrame& frame = tree.frames[i];
        require(image.width == frame.width && image.height == frame.height && image.offset_x == frame.x_offset &&
                    image.offset_y == frame.y_offset && image.channels == 4,
                "an image does not carry its frame's size and offsets");
        const std::uint64_t bytes = std::uint64_t{frame.width} * frame.height * 4;
        // An image left empty is one the size limit refused.
        require(image.pixels.size() == bytes || image.pixels.empty(), "an image has the wrong size");
        total += image.pixels.size();
    }
    require(total <= OrvFrameBuffer::kMaxRenderBytes, "the images exceed the render size limit");
    return 0;
}
